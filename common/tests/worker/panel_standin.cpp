// Stands in for the control-panel program: opens the panel file it is given as its first argument, insists
// on batch mode ("/b" as the second), and exits with the number the file holds.
#include <cstdlib>
#include <cstring>
#include <fstream>

int main(int argc, char** argv) {
    if (argc != 3 || std::strcmp(argv[2], "/b") != 0) {
        return 3;
    }
    std::ifstream panel(argv[1]);
    int exitCode = 0;
    if (!(panel >> exitCode)) {
        return 0;
    }
    return exitCode;
}
