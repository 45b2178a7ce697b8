// Draws the sign-in busy animation, login_loading.gif: a light arc turning on a faint ring
// over the dark box colour of the skin's busy layer (the GIF has no partial transparency,
// so the edges are smoothed against that colour). The course lists' loading state uses the
// same turning arc in other colours. Usage: tavo-loading-gif OUT.gif [BACK FORE] (RRGGBB)
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

namespace {

constexpr int kSize = 48;         // picture width and height
constexpr int kFrames = 30;       // one turn
constexpr int kDelayCs = 3;       // per frame, hundredths of a second
constexpr double kRadius = 17.0;  // ring centre line
constexpr double kStroke = 4.0;   // ring width
constexpr double kArc = 110.0;    // length of the bright arc, degrees
constexpr double kTrack = 0.22;   // brightness of the ring under the arc
constexpr int kSamples = 5;       // supersampling per axis
// Colours: by default the busy box of login.xml and the arc.
int gBack[3] = {0x2B, 0x2F, 0x38};
int gFore[3] = {0xFF, 0xFF, 0xFF};

// Reads "RRGGBB" into rgb; false when the text is not six hex digits.
bool ReadColour(const char* text, int rgb[3]) {
  std::string hex(text);
  if (hex.size() != 6 || hex.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos) return false;
  for (int c = 0; c < 3; ++c) rgb[c] = std::stoi(hex.substr(static_cast<size_t>(c) * 2, 2), nullptr, 16);
  return true;
}
constexpr double kPi = 3.14159265358979323846;

// Brightness (0..1) of one sample point at frame `frame`.
double Sample(double x, double y, int frame) {
  double cx = kSize / 2.0, cy = kSize / 2.0;
  double dx = x - cx, dy = y - cy;
  double dist = std::hypot(dx, dy);
  double half = kStroke / 2;
  double start = 360.0 * frame / kFrames;  // head of the arc, clockwise from the top
  double angle = std::atan2(dx, -dy) * 180.0 / kPi;
  if (angle < 0) angle += 360.0;
  double behind = std::fmod(start - angle + 720.0, 360.0);  // degrees behind the head
  bool onRing = std::fabs(dist - kRadius) <= half;
  // Round caps at both ends of the arc.
  auto capAt = [&](double deg) {
    double a = deg * kPi / 180.0;
    double px = cx + kRadius * std::sin(a), py = cy - kRadius * std::cos(a);
    return std::hypot(x - px, y - py) <= half;
  };
  if ((onRing && behind <= kArc) || capAt(start) || capAt(start - kArc)) {
    // The tail fades a little so the turn reads as motion.
    double fade = onRing && behind <= kArc ? 1.0 - 0.45 * behind / kArc : 1.0;
    if (capAt(start - kArc) && !(onRing && behind < kArc * 0.9)) fade = 0.55;
    return std::max(fade, kTrack);
  }
  return onRing ? kTrack : 0.0;
}

std::vector<uint8_t> DrawFrame(int frame) {
  std::vector<uint8_t> pixels(kSize * kSize);
  for (int y = 0; y < kSize; ++y) {
    for (int x = 0; x < kSize; ++x) {
      double sum = 0;
      for (int sy = 0; sy < kSamples; ++sy)
        for (int sx = 0; sx < kSamples; ++sx)
          sum += Sample(x + (sx + 0.5) / kSamples, y + (sy + 0.5) / kSamples, frame);
      double v = sum / (kSamples * kSamples);
      pixels[y * kSize + x] = static_cast<uint8_t>(std::lround(v * 255.0));
    }
  }
  return pixels;
}

class Writer {
 public:
  void Byte(int b) { out.push_back(static_cast<uint8_t>(b)); }
  void Word(int w) {
    Byte(w & 0xFF);
    Byte((w >> 8) & 0xFF);
  }
  void Text(const std::string& s) {
    for (char c : s) Byte(static_cast<unsigned char>(c));
  }
  std::vector<uint8_t> out;
};

// LZW data with 9-bit codes only: every pixel is a literal and a clear code comes before
// the decoder's table would need wider codes. Simple, and valid for every decoder.
void WriteImageData(Writer& w, const std::vector<uint8_t>& pixels) {
  constexpr int kClear = 256, kEnd = 257, kRun = 250;
  std::vector<uint8_t> bytes;
  uint32_t acc = 0;
  int bits = 0;
  auto put = [&](int code) {
    acc |= static_cast<uint32_t>(code) << bits;
    bits += 9;
    while (bits >= 8) {
      bytes.push_back(static_cast<uint8_t>(acc & 0xFF));
      acc >>= 8;
      bits -= 8;
    }
  };
  for (size_t i = 0; i < pixels.size(); ++i) {
    if (i % kRun == 0) put(kClear);
    put(pixels[i]);
  }
  put(kEnd);
  if (bits > 0) bytes.push_back(static_cast<uint8_t>(acc & 0xFF));
  w.Byte(8);  // minimum code size
  for (size_t i = 0; i < bytes.size(); i += 255) {
    size_t n = std::min<size_t>(255, bytes.size() - i);
    w.Byte(static_cast<int>(n));
    w.out.insert(w.out.end(), bytes.begin() + static_cast<long>(i), bytes.begin() + static_cast<long>(i + n));
  }
  w.Byte(0);
}

}  // namespace

int main(int argc, char** argv) {
  if ((argc != 2 && argc != 4) ||
      (argc == 4 && (!ReadColour(argv[2], gBack) || !ReadColour(argv[3], gFore)))) {
    std::fprintf(stderr, "usage: %s OUT.gif [BACK FORE]\n", argv[0]);
    return 2;
  }
  Writer w;
  w.Text("GIF89a");
  w.Word(kSize);
  w.Word(kSize);
  w.Byte(0xF7);  // global colour table of 256 entries
  w.Byte(0);
  w.Byte(0);
  for (int i = 0; i < 256; ++i)  // a ramp from the box colour to the arc colour
    for (int c = 0; c < 3; ++c) w.Byte(gBack[c] + (gFore[c] - gBack[c]) * i / 255);
  w.Byte(0x21);  // loop for ever
  w.Byte(0xFF);
  w.Byte(11);
  w.Text("NETSCAPE2.0");
  w.Byte(3);
  w.Byte(1);
  w.Word(0);
  w.Byte(0);
  for (int f = 0; f < kFrames; ++f) {
    w.Byte(0x21);  // graphic control: delay, no transparency
    w.Byte(0xF9);
    w.Byte(4);
    w.Byte(0x04);
    w.Word(kDelayCs);
    w.Byte(0);
    w.Byte(0);
    w.Byte(0x2C);  // image descriptor: the whole picture, no local table
    w.Word(0);
    w.Word(0);
    w.Word(kSize);
    w.Word(kSize);
    w.Byte(0);
    WriteImageData(w, DrawFrame(f));
  }
  w.Byte(0x3B);
  std::ofstream file(argv[1], std::ios::binary);
  file.write(reinterpret_cast<const char*>(w.out.data()), static_cast<std::streamsize>(w.out.size()));
  return file ? 0 : 1;
}
