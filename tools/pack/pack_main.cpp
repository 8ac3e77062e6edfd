// trailbok-pack FOLDER OUT.saf: packs every file under a folder into one archive.
#include "pack.h"

#include <cstdio>

int main(int argc, char** argv) {
    if (argc != 3) {
        fprintf(stderr, "usage: trailbok-pack FOLDER OUT.saf\n"
                        "Packs every file under FOLDER, named relative to it, into the archive.\n");
        return 2;
    }
    int packed = 0;
    std::string error;
    if (!pack_folder(argv[1], argv[2], &packed, &error)) {
        fprintf(stderr, "trailbok-pack: %s\n", error.c_str());
        return 1;
    }
    printf("Packed %d files into %s\n", packed, argv[2]);
    return 0;
}
