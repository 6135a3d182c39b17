// Stands in for the control-panel program: opens the panel file it is given as its first argument, insists
// on batch mode ("/b" as the second), and exits with the number the file holds; a negative number stands for
// a panel whose refresh loop never ends.
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <unistd.h>

int main(int argc, char** argv) {
    if (argc != 3 || std::strcmp(argv[2], "/b") != 0) {
        return 3;
    }
    std::ifstream panel(argv[1]);
    int exitCode = 0;
    if (!(panel >> exitCode)) {
        return 0;
    }
    if (exitCode < 0) {
        std::ofstream(std::string(argv[1]) + ".running") << "running\n"; // tells the test it may stop it
        for (;;) {
            pause();
        }
    }
    return exitCode;
}
