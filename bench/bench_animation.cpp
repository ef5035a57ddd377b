// Speed of the layer renderer on the carousel's load: twelve cards of
// 240 x 150 points, each a window picture with rounded corners, a border
// and a number badge, arranged in 3D with perspective and drawn into a
// 1440 x 900 context, as the switcher's full-screen panel draws a frame.
// The "frames_per_second" counter is the one to watch: a frame has 1/60 s.
#include <animation/QuartzCore.h>
#include <graphics/Graphics.h>

#include <benchmark/benchmark.h>

#include <cmath>
#include <random>

namespace {

constexpr double kWidth = 1440, kHeight = 900;
constexpr double kCardWidth = 240, kCardHeight = 150;
constexpr int kCards = 12;
constexpr double kPerspective = -0.002;

CGImageRef windowPicture(int seed)
{
    std::mt19937 random(seed);
    size_t w = static_cast<size_t>(kCardWidth), h = static_cast<size_t>(kCardHeight);
    std::vector<uint8_t> bytes(w * h * 4);
    uint8_t base = uint8_t(random());
    for (size_t y = 0; y < h; ++y) {
        for (size_t x = 0; x < w; ++x) {
            uint8_t* p = &bytes[(y * w + x) * 4];
            bool titleBar = y < 22;
            p[0] = titleBar ? 220 : uint8_t(base + x);
            p[1] = titleBar ? 220 : uint8_t(y * 2);
            p[2] = titleBar ? 220 : uint8_t(base ^ (x * y));
            p[3] = 255;
        }
    }
    return CGImageCreate(w, h, 8, 32, w * 4, CGColorSpaceCreateDeviceRGB(), kCGImageAlphaPremultipliedLast,
        CGDataProviderCreateWithBytes(std::move(bytes)));
}

Ref<CALayer> card(int index)
{
    auto layer = CALayer::layer();
    layer->setBounds({ 0, 0, kCardWidth, kCardHeight });
    layer->setPosition({ kWidth / 2, kHeight / 2 });
    layer->setContents(windowPicture(index));
    layer->setCornerRadius(8);
    layer->setMasksToBounds(true);
    layer->setBorderWidth(2);
    layer->setBorderColor(CGColorCreateGenericRGB(1, 1, 1, 1));
    auto badge = CATextLayer::layer();
    badge->setString(std::to_string(index + 1));
    badge->setFontSize(14);
    badge->setForegroundColor(CGColorCreateGenericRGB(1, 1, 1, 1));
    badge->setBackgroundColor(CGColorCreateGenericRGB(0, 0, 0, 0.8));
    badge->setCornerRadius(4);
    badge->setFrame({ kCardWidth - 30, kCardHeight - 28, 24, 20 });
    layer->addSublayer(badge);
    return layer;
}

// The cover flow: the front card flat, the others turned and stacked on
// the two wings.
CATransform3D coverFlow(double offset)
{
    auto t = CATransform3DIdentity;
    t.m34 = kPerspective;
    double k = std::clamp(offset, -1.0, 1.0);
    double tilt = 0.9, spacing = 0.25, w = 400;
    t = CATransform3DTranslate(t, (k * 0.5 * tilt + offset * spacing) * w, 0, -w * std::fabs(k) * 0.5);
    return CATransform3DRotate(t, k * -M_PI / 2 * tilt, 0, 1, 0);
}

// The cylinder: the cards on the inside of a drum around the centre.
CATransform3D cylinder(double offset)
{
    auto t = CATransform3DIdentity;
    t.m34 = kPerspective;
    double angle = offset / kCards * 2 * M_PI;
    double radius = kCardWidth * 0.5 / std::tan(M_PI / kCards);
    t = CATransform3DTranslate(t, 0, 0, -radius);
    t = CATransform3DRotate(t, angle, 0, 1, 0);
    return CATransform3DTranslate(t, 0, 0, radius + 0.01);
}

Ref<CALayer> carousel(CATransform3D (*place)(double), double scrollOffset)
{
    auto root = CALayer::layer();
    root->setFrame({ 0, 0, kWidth, kHeight });
    root->setBackgroundColor(CGColorCreateGenericRGB(0.1, 0.1, 0.15, 1));
    for (int i = 0; i < kCards; ++i) {
        auto c = card(i);
        c->setTransform(place(i - scrollOffset));
        root->addSublayer(c);
    }
    return root;
}

void renderFrames(benchmark::State& state, const Ref<CALayer>& root)
{
    auto context = CGBitmapContextCreate(nullptr, size_t(kWidth), size_t(kHeight), 8, 0, CGColorSpaceCreateDeviceRGB(),
        kCGImageAlphaPremultipliedFirst | kCGBitmapByteOrder32Little);
    for (auto _ : state) {
        CGContextClearRect(context, { 0, 0, kWidth, kHeight });
        root->renderInContext(context);
        benchmark::ClobberMemory();
    }
    state.counters["frames_per_second"] = benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
}

void BM_CoverFlowFrame(benchmark::State& state) { renderFrames(state, carousel(coverFlow, 5.5)); }

void BM_CylinderFrame(benchmark::State& state) { renderFrames(state, carousel(cylinder, 0.3)); }

// The same cards laid flat side by side: the 2D path, for comparison.
void BM_FlatRowFrame(benchmark::State& state)
{
    auto root = carousel(coverFlow, 0);
    for (size_t i = 0; i < root->sublayers().size(); ++i) {
        auto& c = root->sublayers()[i];
        c->setTransform(CATransform3DIdentity);
        c->setPosition({ 130 + double(i % 6) * 250, 250 + double(i / 6) * 300 });
    }
    renderFrames(state, root);
}

}

BENCHMARK(BM_CoverFlowFrame)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CylinderFrame)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FlatRowFrame)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
