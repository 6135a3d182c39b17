// A shared library that is no server: it exports no DllGetClassObject.
extern "C" __attribute__((visibility("default"))) int VrNotAServer() {
    return 1;
}
