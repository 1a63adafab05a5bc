#include <cstdio>
#include <cstring>

// The command-line front end. Until the batch engine is wired in it only tells what it is.
int main(int argc, char** argv)
{
    if (argc > 1 && std::strcmp(argv[1], "--version") == 0) {
        std::printf("pictavo-cli %s\n", PICTAVO_VERSION);
        return 0;
    }
    std::printf("pictavo-cli %s: batch image processor (the batch run is not wired in yet)\n",
                PICTAVO_VERSION);
    return 0;
}
