// saver_cost: what the main (GUI) thread of a running saver costs, in per cent of one core
// averaged over a minute, for 1, 2 and 4 monitors of 1920 x 1080, one of 3840 x 2160, and
// a copy in a 1280 x 800 window of a screen-saver host. Each line is one run of
// ystrelo-soak on a virtual X server of its own.
//
//   saver_cost [SECONDS]
#include <cstdio>
#include <string>

namespace {
struct TCase {
    const char* Name;
    const char* Options;
};
} // namespace

int main(int Argc, char** Argv) {
    const std::string Seconds = Argc > 1 ? Argv[1] : "60";
    const TCase Cases[] = {
        {"1 x 1920x1080", "--monitors 1 --size 1920x1080"},
        {"2 x 1920x1080", "--monitors 2 --size 1920x1080"},
        {"4 x 1920x1080", "--monitors 4 --size 1920x1080"},
        {"1 x 3840x2160", "--monitors 1 --size 3840x2160"},
        {"hosted 1280x800", "--hosted --size 1280x800"},
    };
    std::printf("Main thread of the saver over %s s (user + system, per cent of one core)\n\n",
                Seconds.c_str());
    std::printf("%-16s  %s\n", "monitors", "summary");
    for (const TCase& Case : Cases) {
        const std::string Command = std::string(YSTRELO_BINARY_DIR) + "/ystrelo-soak " +
                                    Case.Options + " --seconds " + Seconds + " --interval " +
                                    Seconds + " 2>/dev/null";
        std::string Summary = "(no summary: the run failed)";
        if (FILE* Pipe = popen(Command.c_str(), "r")) {
            char Line[512];
            while (std::fgets(Line, sizeof Line, Pipe))
                if (std::string(Line).rfind("average:", 0) == 0)
                    Summary = std::string(Line + 9);
            pclose(Pipe);
        }
        if (!Summary.empty() && Summary.back() == '\n')
            Summary.pop_back();
        std::printf("%-16s  %s\n", Case.Name, Summary.c_str());
        std::fflush(stdout);
    }
    return 0;
}
