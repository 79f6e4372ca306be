// road-picture OUTPUT.png FRAME.png TIME [FRAME.png TIME]...
//
// Draws the pages of one upgrade side by side, scaled down, each with its
// time under it (digits and a period), into OUTPUT.png. tools/run-main-job
// makes the picture of the road from the filmed frames with it.
// Exit status 0, 1 when a frame cannot be read or the picture not written,
// 2 for a wrong command line.
#include "RoadPicture.h"

#include <cstdio>

int main(int argc, char** argv)
{
    if (argc < 4 || argc % 2 != 0) {
        std::fprintf(stderr, "Usage: road-picture OUTPUT.png FRAME.png TIME [FRAME.png TIME]...\n");
        return 2;
    }
    RoadPicture picture;
    for (int i = 2; i + 1 < argc; i += 2) {
        if (!picture.AddPage(argv[i], argv[i + 1])) {
            std::fprintf(stderr, "road-picture: cannot read %s\n", argv[i]);
            return 1;
        }
    }
    if (!picture.Write(argv[1])) {
        std::fprintf(stderr, "road-picture: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
