// trailbok-track check FOLDER: loads a track folder as the game does and lists its problems.
#include "track_check.h"

#include <cstdio>
#include <cstring>

int main(int argc, char** argv) {
    if (argc != 3 || strcmp(argv[1], "check") != 0) {
        fprintf(stderr, "usage: trailbok-track check FOLDER\n"
                        "Loads the track in FOLDER as the game does and lists every problem, one "
                        "a line;\nthe exit status is 1 when there is any.\n");
        return 2;
    }
    const std::vector<file_problem> problems = track_check(argv[2]);
    for (const file_problem& p : problems) printf("%s\n", track_check_line(argv[2], p).c_str());
    if (problems.empty()) {
        printf("%s: no problems found\n", argv[2]);
        return 0;
    }
    printf("%zu problem%s\n", problems.size(), problems.size() == 1 ? "" : "s");
    return 1;
}
