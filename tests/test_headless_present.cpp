// The cairo back buffer over memory it is given, its write guard, and the
// headless window: what it reads before, after and between presents at the
// origin (where the window is the back buffer itself) and elsewhere.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <span>
#include <utility>
#include <vector>

#include "backends/headless/cairo_canvas.h"
#include "backends/headless/headless_platform.h"

namespace quorix {
namespace {

constexpr int kW = 800, kH = 600;

// A different word for every pixel of a picture, so a shifted or stale copy
// cannot pass for the right one.
uint32_t PatternPixel(int picture, int x, int y) {
  return 0xFF000000u | uint32_t(picture & 0xF) << 20 | uint32_t(x) << 10 | uint32_t(y);
}

void Paint(CairoCanvas& c, int picture) {
  uint8_t* data = c.Data();
  for (int y = 0; y < c.Height(); ++y) {
    uint32_t* row = reinterpret_cast<uint32_t*>(data + size_t(y) * c.Stride());
    for (int x = 0; x < c.Width(); ++x) row[x] = PatternPixel(picture, x, y);
  }
  c.MarkDirty();
}

// Draws the same things on a canvas: shapes of every kind, clipped ones and text.
void DrawScene(CairoCanvas& c) {
  c.CreateViewFont();
  c.Select(c.CreateSolidBrush({0, 175, 0}));
  c.Select(c.CreatePen({255, 0, 0}));
  c.Rectangle(150, 10, 750, 510);
  c.Rectangle(-20, 580, 30, 640);
  c.RoundRect(20, 20, 120, 90, 15, 15);
  c.Ellipse(700, 520, 830, 610);
  c.SetTextColor({255, 255, 0});
  c.TextOut(160, 30, "MOV AX, 1234 ; \xE9t\xE9", 18);
  c.TextOut(790, 590, "clipped", 7);
}

TEST(CairoCanvas, DrawsTheSameIntoGivenMemory) {
  const int stride = CairoCanvas::StrideFor(kW);
  ASSERT_EQ(stride, kW * 4);
  // Rubbish in the memory: the canvas starts black like one with its own.
  std::vector<uint32_t> memory(size_t(kW) * kH, 0x12345678u);
  CairoCanvas own(kW, kH);
  CairoCanvas given(kW, kH, reinterpret_cast<uint8_t*>(memory.data()), stride);
  ASSERT_EQ(given.Width(), kW);
  EXPECT_EQ(given.Data(), reinterpret_cast<uint8_t*>(memory.data()));
  EXPECT_EQ(memory[0], 0xFF000000u);
  DrawScene(own);
  DrawScene(given);
  for (int y = 0; y < kH; ++y)
    ASSERT_EQ(std::memcmp(own.Data() + size_t(y) * own.Stride(), &memory[size_t(y) * kW], kW * 4),
              0)
        << "row " << y;
}

// Text the canvas' edges cut draws what a larger canvas shows of it (text
// wholly inside is drawn without clipping span by span).
TEST(CairoCanvas, TextAtTheEdgesIsCutLikeACrop) {
  const struct {
    int x, y;
  } places[] = {{-5, 10}, {185, 10}, {50, -8}, {50, 92}, {-7, -7}, {190, 95}, {20, 20}};
  constexpr int kMargin = 40;
  for (const auto& at : places) {
    CairoCanvas small(200, 100), large(200 + 2 * kMargin, 100 + 2 * kMargin);
    for (CairoCanvas* c : {&small, &large}) {
      c->CreateViewFont();
      c->SetTextColor({255, 255, 0});
    }
    small.TextOut(at.x, at.y, "Wg|\xC7", 4);
    large.TextOut(at.x + kMargin, at.y + kMargin, "Wg|\xC7", 4);
    for (int y = 0; y < 100; ++y)
      for (int x = 0; x < 200; ++x)
        ASSERT_EQ(small.PixelAt(x, y), large.PixelAt(x + kMargin, y + kMargin))
            << "text at " << at.x << "," << at.y << ", pixel " << x << "," << y;
  }
}

std::vector<uint8_t> Pixels(const CairoCanvas& c) {
  const uint8_t* d = c.Data();
  return {d, d + size_t(c.Height()) * c.Stride()};
}

TEST(CairoCanvas, WriteGuardRunsOnceBeforeTheNextChange) {
  const struct {
    const char* name;
    std::function<void(CairoCanvas&)> op;
    bool writes;
  } cases[] = {
      {"Rectangle", [](CairoCanvas& c) { c.Rectangle(1, 1, 12, 12); }, true},
      {"RoundRect", [](CairoCanvas& c) { c.RoundRect(1, 1, 12, 12, 4, 4); }, true},
      {"Ellipse", [](CairoCanvas& c) { c.Ellipse(1, 1, 12, 12); }, true},
      {"TextOut", [](CairoCanvas& c) { c.TextOut(1, 1, "W", 1); }, true},
      {"Data", [](CairoCanvas& c) { c.Data()[0] += 1; }, true},
      {"PixelAt", [](CairoCanvas& c) { (void)c.PixelAt(2, 2); }, false},
      {"const Data", [](CairoCanvas& c) { (void)std::as_const(c).Data()[0]; }, false},
  };
  for (const auto& k : cases) {
    CairoCanvas c(16, 16);
    c.CreateViewFont();
    c.SetTextColor({255, 255, 255});
    int runs = 0;
    std::vector<uint8_t> seen;
    c.SetWriteGuard([&] {
      ++runs;
      seen = Pixels(c);
    });
    k.op(c);
    EXPECT_EQ(runs, 0) << k.name << ": not armed";
    const std::vector<uint8_t> presented = Pixels(c);
    // Other colours, so the next drawing changes pixels.
    c.Select(c.CreateSolidBrush({255, 0, 0}));
    c.Select(c.CreatePen({0, 0, 255}));
    c.SetTextColor({0, 255, 0});
    c.ArmWriteGuard();
    k.op(c);
    k.op(c);
    EXPECT_EQ(runs, k.writes ? 1 : 0) << k.name;
    if (k.writes) {
      EXPECT_TRUE(seen == presented) << k.name << ": the guard runs before the change";
      EXPECT_FALSE(Pixels(c) == presented) << k.name << ": the drawing changed pixels";
    }
  }
}

class HeadlessWindow : public ::testing::Test {
 protected:
  void SetUp() override {
    canvas_ = static_cast<CairoCanvas*>(p_.CreateBackBuffer(kW, kH));
    ASSERT_EQ(canvas_, p_.backBuffer());
  }
  // Each window pixel against the pixel expected there.
  template <typename Expected>
  void ExpectWindow(const char* what, Expected expected) {
    std::span<const uint32_t> win = p_.window();
    ASSERT_EQ(win.size(), size_t(kW) * kH) << what;
    for (int y = 0; y < kH; ++y)
      for (int x = 0; x < kW; ++x)
        ASSERT_EQ(win[size_t(y) * kW + x], expected(x, y)) << what << " at " << x << "," << y;
  }
  HeadlessPlatform p_;
  CairoCanvas* canvas_ = nullptr;
};

TEST_F(HeadlessWindow, IsTheBackBufferAfterAPresentAtTheOrigin) {
  Paint(*canvas_, 1);
  ExpectWindow("before the first present", [](int, int) { return 0u; });
  EXPECT_EQ(p_.presentCount(), 0u);
  p_.Present(0, 0);
  EXPECT_EQ(p_.presentCount(), 1u);
  EXPECT_EQ(p_.window().data(), reinterpret_cast<const uint32_t*>(canvas_->Data()))
      << "nothing copied";
  ExpectWindow("presented", [](int x, int y) { return PatternPixel(1, x, y); });
  for (int step = 2; step < 5; ++step) {
    Paint(*canvas_, step);
    p_.Present(0, 0);
  }
  EXPECT_EQ(p_.presentCount(), 4u);
  ExpectWindow("after several steps", [](int x, int y) { return PatternPixel(4, x, y); });
  // Released, the window keeps the last picture; a new back buffer starts a
  // new, empty window.
  p_.ReleaseBackBuffer();
  ExpectWindow("released", [](int x, int y) { return PatternPixel(4, x, y); });
  p_.Present(0, 0);
  EXPECT_EQ(p_.presentCount(), 5u) << "a present without a back buffer still counts";
  canvas_ = static_cast<CairoCanvas*>(p_.CreateBackBuffer(kW, kH));
  ExpectWindow("a new back buffer", [](int, int) { return 0u; });
}

TEST_F(HeadlessWindow, PresentsElsewhereCopyTheCoveredPart) {
  const struct {
    int x, y;
  } offsets[] = {{30, 20},     {-25, -10}, {799, 0},  {0, 599},
                 {-799, -599}, {800, 0},   {0, -600}, {1, 0}};
  for (const auto& o : offsets) {
    SCOPED_TRACE(::testing::Message() << "at " << o.x << "," << o.y);
    // Shared window first, then a present elsewhere without drawing in
    // between: the uncovered part still shows the first picture.
    Paint(*canvas_, 1);
    p_.Present(0, 0);
    p_.Present(o.x, o.y);
    auto covered = [&](int x, int y) {
      return x >= o.x && x < o.x + kW && y >= o.y && y < o.y + kH;
    };
    ExpectWindow("first picture shifted", [&](int x, int y) {
      return covered(x, y) ? PatternPixel(1, x - o.x, y - o.y) : PatternPixel(1, x, y);
    });
    // Drawing now does not reach the window, which has its own pixels again.
    const std::vector<uint32_t> before(p_.window().begin(), p_.window().end());
    Paint(*canvas_, 2);
    ASSERT_TRUE(std::equal(before.begin(), before.end(), p_.window().begin()));
    p_.Present(o.x, o.y);
    ExpectWindow("second picture over the first", [&](int x, int y) {
      return covered(x, y) ? PatternPixel(2, x - o.x, y - o.y) : before[size_t(y) * kW + x];
    });
    p_.Present(0, 0);
    ExpectWindow("back at the origin", [](int x, int y) { return PatternPixel(2, x, y); });
  }
}

}  // namespace
}  // namespace quorix
