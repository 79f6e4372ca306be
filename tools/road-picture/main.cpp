// road-picture OUTPUT.png FRAME.png TIME [FRAME.png TIME]...
// road-picture --name-pages LANGUAGE FRAME.png...
//
// The first form draws the pages of one upgrade side by side, scaled down,
// each with its time under it (digits and a period), into OUTPUT.png. The
// second prints, for each frame, a line "FRAME NAME": which compiled-in
// Wi-Fi page of the language folder it shows ("16", "15", "17"), or
// "black", "other", "unreadable". tools/run-main-job uses both on the
// filmed frames. Exit status 0, 1 when a frame cannot be read or the picture
// not written, 2 for a wrong command line.
#include "PageNames.h"
#include "RoadPicture.h"

#include <cstdio>
#include <cstring>

namespace {

int NamePages(int count, char** frames, const char* language)
{
    const PageNames names(language);
    for (int i = 0; i < count; ++i) {
        std::printf("%s %s\n", frames[i], names.NameOf(frames[i]).c_str());
    }
    return 0;
}

int DrawRoad(const char* output, int count, char** framesAndTimes)
{
    RoadPicture picture;
    for (int i = 0; i + 1 < count; i += 2) {
        if (!picture.AddPage(framesAndTimes[i], framesAndTimes[i + 1])) {
            std::fprintf(stderr, "road-picture: cannot read %s\n", framesAndTimes[i]);
            return 1;
        }
    }
    if (!picture.Write(output)) {
        std::fprintf(stderr, "road-picture: cannot write %s\n", output);
        return 1;
    }
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc >= 3 && std::strcmp(argv[1], "--name-pages") == 0) {
        return NamePages(argc - 3, argv + 3, argv[2]);
    }
    if (argc >= 4 && argc % 2 == 0) {
        return DrawRoad(argv[1], argc - 2, argv + 2);
    }
    std::fprintf(stderr, "Usage: road-picture OUTPUT.png FRAME.png TIME [FRAME.png TIME]...\n"
                         "       road-picture --name-pages LANGUAGE FRAME.png...\n");
    return 2;
}
