// Renders a carousel of numbered sample cards in each of the twelve
// arrangements to PNG files: at rest with card 6 in front, and halfway
// between cards 6 and 7. A look at them shows the front card in front, the
// depth order, and that no card is missing or drawn behind the eye.
//
//   render_carousel [DIR]        (default: out/carousel)
#include "CarouselSample.h"
#include "ToolDesktop.h"

#include <appkit/NSApplication.h>
#include <foundation/RunLoop.h>

#include <cstdio>
#include <filesystem>

int main(int argc, char** argv)
{
    std::string dir = argc > 1 ? argv[1] : "out/carousel";
    std::error_code ec;
    std::filesystem::create_directories(dir, ec);
    auto clock = installToolDesktop("render_carousel", 1440, 900).clock;
    if (!clock)
        return 1;

    CarouselSample sample({ 1440, 900 }, 12);
    sample.window->orderFront(nullptr);
    auto settle = [&] {
        // Lets the snap and the flip of the second cover flow end.
        for (int i = 0; i < 60; ++i) {
            clock->advance(1.0 / 60);
            RunLoop::main().runUntilIdle();
        }
    };
    int failures = 0;
    for (int64_t type = 0; type < kCarouselTypeCount; ++type) {
        std::string name = CarouselTypeName(type);
        for (char& c : name)
            c = c == ' ' ? '-' : static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        char prefix[16];
        std::snprintf(prefix, sizeof prefix, "%02lld-", static_cast<long long>(type));
        sample.show(type, 5);
        settle();
        std::string rest = dir + "/" + prefix + name + "-rest.png";
        std::string between = dir + "/" + prefix + name + "-between.png";
        bool ok = sample.window->writeRenderedPNG(rest);
        sample.carousel->setScrollOffset(5.5);
        ok = sample.window->writeRenderedPNG(between) && ok;
        std::printf("%s  %s  %s\n", ok ? "wrote" : "FAILED", rest.c_str(), between.c_str());
        failures += !ok;
    }
    return failures ? 1 : 0;
}
