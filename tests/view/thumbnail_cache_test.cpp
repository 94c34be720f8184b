// The shared thumbnail cache: names, the format as an independent PNG reader sees it,
// thumbnails of other programs, stale ones, failure entries, and the thumbnail maker.
#include <sys/stat.h>
#include <utime.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <thread>

#include <gtest/gtest.h>

#include "codecs/jpeg.h"
#include "codecs/scaled_decode.h"
#include "codecs/webp.h"
#include "core/md5.h"
#include "support/camera_jpeg.h"
#include "support/jpeg_builder.h"
#include "support/test_support.h"
#include "view/thumbnail_cache.h"
#include "view/thumbnail_maker.h"
#include "view/thumbnail_pool.h"

namespace qp {
namespace {

using test::TempDir;

struct CountingPost final : PostPort {
  std::atomic<int> posts{0};
  void Post(uint16_t, intptr_t) override { ++posts; }
};

// Runs the pool on the jobs until it is idle; the results in arrival order.
std::vector<ThumbnailResult> RunPool(const ThumbnailCache& cache, std::vector<ThumbnailJob> jobs,
                                     ThumbnailSize size = ThumbnailSize::Normal) {
  CountingPost post;
  ThumbnailPool pool(cache, post, 4201, 2);
  pool.Schedule(std::move(jobs), size);
  std::vector<ThumbnailResult> all;
  for (int i = 0; i < 2000 && (!pool.Idle() || all.empty()); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    for (auto& r : pool.TakeResults()) all.push_back(std::move(r));
  }
  for (auto& r : pool.TakeResults()) all.push_back(std::move(r));
  return all;
}

void SetMtime(const std::string& path, time_t when) {
  struct utimbuf t{when, when};
  ASSERT_EQ(::utime(path.c_str(), &t), 0);
}

int Mode(const std::string& path) {
  struct stat st {};
  EXPECT_EQ(::stat(path.c_str(), &st), 0) << path;
  return static_cast<int>(st.st_mode & 0777);
}

// Another program's PNG writer: Python's zlib and struct, independent of libpng.
constexpr const char* kPythonPngWriter = R"(
import struct, sys, zlib
out, w, h, rgb = sys.argv[1], int(sys.argv[2]), int(sys.argv[3]), bytes.fromhex(sys.argv[4])
def chunk(t, d): return struct.pack('>I', len(d)) + t + d + struct.pack('>I', zlib.crc32(t + d))
raw = b''.join(b'\x00' + rgb * w for _ in range(h))
text = b''.join(chunk(b'tEXt', a.encode('latin-1') + b'\x00' + b.encode('latin-1'))
                for a, b in zip(sys.argv[5::2], sys.argv[6::2]))
open(out, 'wb').write(b'\x89PNG\r\n\x1a\n' + chunk(b'IHDR', struct.pack('>IIBBBBB', w, h, 8, 2, 0, 0, 0))
                      + text + chunk(b'IDAT', zlib.compress(raw)) + chunk(b'IEND', b''))
)";

// Another program's PNG reader: checks every CRC, inflates the picture data and prints the
// size, the colour type and the text chunks.
constexpr const char* kPythonPngReader = R"(
import struct, sys, zlib
data = open(sys.argv[1], 'rb').read()
assert data[:8] == b'\x89PNG\r\n\x1a\n'
pos, idat = 8, b''
while pos < len(data):
    n, = struct.unpack('>I', data[pos:pos + 4]); t = data[pos + 4:pos + 8]; d = data[pos + 8:pos + 8 + n]
    assert struct.unpack('>I', data[pos + 8 + n:pos + 12 + n])[0] == zlib.crc32(t + d), t
    pos += 12 + n
    if t == b'IHDR':
        w, h, depth, ctype = struct.unpack('>IIBB', d[:10]); print('size=%dx%d depth=%d type=%d' % (w, h, depth, ctype))
    elif t == b'tEXt':
        k, v = d.split(b'\x00', 1); print(k.decode('latin-1') + '=' + v.decode('latin-1'))
    elif t == b'IDAT': idat += d
    elif t == b'IEND': break
channels = {2: 3, 6: 4}[ctype]
assert len(zlib.decompress(idat)) == h * (1 + w * channels)
)";

std::string RunPython(const std::string& script, const std::string& args) {
  TempDir dir;
  const std::string file = dir.file("s.py");
  std::ofstream(file) << script;
  const std::string cmd = "python3 " + test::ShellQuote(file) + " " + args + " 2>&1";
  std::string out;
  if (std::FILE* p = ::popen(cmd.c_str(), "r")) {
    char buf[512];
    while (std::fgets(buf, sizeof buf, p) != nullptr) out += buf;
    ::pclose(p);
  }
  return out;
}

TEST(ThumbnailNames, UriAndMd5FollowTheSharedConvention) {
  EXPECT_EQ(Md5Hex(""), "d41d8cd98f00b204e9800998ecf8427e");
  EXPECT_EQ(Md5Hex("The quick brown fox jumps over the lazy dog"),
            "9e107d9d372bb6826bd81d3542a419d6");
  // 56 bytes: the length no longer fits the first padding block.
  EXPECT_EQ(Md5Hex(std::string(56, 'a')), "3b0c8ac703f828b04c6c197006d17218");
  EXPECT_EQ(Md5Hex("file:///home/jens/photos/me.png"), "c6ee772d9e49320e97ec29a7eb5b1697");
  EXPECT_EQ(FileUri("/home/a b/x#1%.jpg"), "file:///home/a%20b/x%231%25.jpg");
  EXPECT_EQ(FileUri("/p/!$&'()*+,-.:=@_~"), "file:///p/!$&'()*+,-.:=@_~");
  EXPECT_EQ(FileUri("/\xc3\xa9t\xc3\xa9.png"), "file:///%C3%A9t%C3%A9.png");

  ThumbnailCache cache("/c/thumbnails/");
  EXPECT_EQ(cache.PathFor("file:///home/jens/photos/me.png", ThumbnailSize::Large),
            "/c/thumbnails/large/c6ee772d9e49320e97ec29a7eb5b1697.png");
  EXPECT_EQ(cache.FailPathFor("file:///x"), "/c/thumbnails/fail/quillpix/" + Md5Hex("file:///x") + ".png");
  EXPECT_EQ(ThumbnailSizeFor(100), ThumbnailSize::Normal);
  EXPECT_EQ(ThumbnailSizeFor(128), ThumbnailSize::Normal);
  EXPECT_EQ(ThumbnailSizeFor(256), ThumbnailSize::Large);  // 128 logical at twice the density
  EXPECT_EQ(ThumbnailSizeFor(384), ThumbnailSize::XLarge);
  EXPECT_EQ(ThumbnailSizeFor(5000), ThumbnailSize::XXLarge);
  EXPECT_STREQ(ThumbnailFolder(ThumbnailSize::XXLarge), "xx-large");
}

TEST(ThumbnailCache, DefaultRootFollowsTheCacheHome) {
  const char* old = std::getenv("XDG_CACHE_HOME");
  const std::string saved = old ? old : "";
  setenv("XDG_CACHE_HOME", "/tmp/somewhere", 1);
  EXPECT_EQ(ThumbnailCache::DefaultRoot(), "/tmp/somewhere/thumbnails");
  setenv("XDG_CACHE_HOME", "relative", 1);  // not absolute: ignored
  EXPECT_EQ(ThumbnailCache::DefaultRoot(), std::string(std::getenv("HOME")) + "/.cache/thumbnails");
  if (old) setenv("XDG_CACHE_HOME", saved.c_str(), 1);
  else unsetenv("XDG_CACHE_HOME");
}

TEST(ThumbnailCache, WrittenThumbnailReadsBackInAnotherReader) {
  TempDir dir;
  const std::string photo = dir.file("photo one.jpg");
  ASSERT_TRUE(test::WriteJpeg(photo, test::RandomPicture(400, 300, 7)));
  SetMtime(photo, 1700000000);
  ThumbnailCache cache(dir.file("cache/thumbnails"));
  const auto results = RunPool(cache, {{photo, true}});
  ASSERT_EQ(results.size(), 1u);
  EXPECT_EQ(results[0].state, ThumbnailState::Ready);
  ASSERT_TRUE(results[0].pixels);
  EXPECT_EQ(results[0].pixels->width(), 128);
  EXPECT_EQ(results[0].pixels->height(), 96);

  const auto source = DescribeSource(photo);
  ASSERT_TRUE(source);
  const std::string thumb = cache.PathFor(source->uri, ThumbnailSize::Normal);
  // Private folders and file; nothing left under a temporary name.
  EXPECT_EQ(Mode(thumb), 0600);
  EXPECT_EQ(Mode(dir.file("cache/thumbnails/normal")), 0700);
  EXPECT_EQ(Mode(dir.file("cache/thumbnails")), 0700);
  int files = 0;
  for (const auto& e : std::filesystem::directory_iterator(dir.file("cache/thumbnails/normal")))
    files += e.is_regular_file() ? 1 : 0;
  EXPECT_EQ(files, 1);

  if (!test::HaveTool("python3")) GTEST_SKIP() << "python3 not installed";
  const std::string seen = RunPython(kPythonPngReader, test::ShellQuote(thumb));
  EXPECT_NE(seen.find("size=128x96 depth=8 type=2\n"), std::string::npos) << seen;
  EXPECT_NE(seen.find("Thumb::URI=" + source->uri + "\n"), std::string::npos) << seen;
  EXPECT_NE(seen.find("Thumb::MTime=1700000000\n"), std::string::npos) << seen;
  EXPECT_NE(seen.find("Thumb::Size=" + std::to_string(source->size) + "\n"), std::string::npos);
  EXPECT_NE(seen.find("Thumb::Mime=image/jpeg\n"), std::string::npos) << seen;
  EXPECT_NE(seen.find("Thumb::Image::Width=400\n"), std::string::npos) << seen;
  EXPECT_EQ(source->uri.find("photo%20one.jpg"), source->uri.size() - 15);
}

TEST(ThumbnailCache, OthersThumbnailIsUsedAsItIsAndStaleOnesAreReplaced) {
  if (!test::HaveTool("python3")) GTEST_SKIP() << "python3 not installed";
  TempDir dir;
  const std::string photo = dir.file("blue.jpg");
  ASSERT_TRUE(test::WriteJpeg(photo, test::SolidPicture(300, 200, 0xFF0000FF)));
  SetMtime(photo, 1600000000);
  ThumbnailCache cache(dir.file("thumbnails"));
  const auto source = DescribeSource(photo);
  const std::string thumb = cache.PathFor(source->uri, ThumbnailSize::Normal);
  std::filesystem::create_directories(dir.file("thumbnails/normal"));
  // A red 100 x 50 thumbnail of the blue picture, made elsewhere for this version of the file.
  auto writeOther = [&](const std::string& mtime) {
    RunPython(kPythonPngWriter, test::ShellQuote(thumb) + " 100 50 ff0000 Thumb::URI " +
                                    test::ShellQuote(source->uri) + " Thumb::MTime " + mtime);
  };
  writeOther("1600000000");
  ASSERT_TRUE(cache.Has(*source, ThumbnailSize::Normal));
  auto results = RunPool(cache, {{photo, true}});
  ASSERT_EQ(results.size(), 1u);
  ASSERT_TRUE(results[0].pixels);
  EXPECT_EQ(results[0].pixels->width(), 100);
  EXPECT_EQ(test::PixelAt(*results[0].pixels, 5, 5), 0xFFFF0000u);  // as it was, not remade

  // The file changed since: the thumbnail is stale, made again and replaced.
  writeOther("1500000000");
  EXPECT_FALSE(cache.Has(*source, ThumbnailSize::Normal));
  results = RunPool(cache, {{photo, false}});
  ASSERT_EQ(results.size(), 1u);
  EXPECT_EQ(results[0].state, ThumbnailState::OnDisk);
  EXPECT_FALSE(results[0].pixels);
  auto fresh = cache.Load(*source, ThumbnailSize::Normal);
  ASSERT_TRUE(fresh);
  EXPECT_EQ(fresh->width(), 128);
  const uint32_t px = test::PixelAt(*fresh, 60, 40);
  EXPECT_GT(px & 0xFF, 0xE0u);          // blue
  EXPECT_LT((px >> 16) & 0xFF, 0x20u);  // not red
}

TEST(ThumbnailCache, UnreadableFilesAreRecordedUnderFail) {
  TempDir dir;
  const std::string broken = dir.file("broken.jpg");
  test::WriteBytes(broken, {0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x10, 'J', 'F', 'I', 'F', 0, 1});
  const std::string folder = dir.file("sub");
  std::filesystem::create_directory(folder);
  const std::string text = dir.file("notes.xyz");
  test::WriteBytes(text, {'h', 'i'});
  ThumbnailCache cache(dir.file("thumbnails"));
  const auto results = RunPool(cache, {{broken, true}, {folder, true}, {text, true}});
  ASSERT_EQ(results.size(), 3u);
  for (const auto& r : results) EXPECT_EQ(r.state, ThumbnailState::Plain) << r.path;

  auto source = DescribeSource(broken);
  EXPECT_TRUE(cache.HasFailure(*source));
  EXPECT_EQ(Mode(cache.FailPathFor(source->uri)), 0600);
  const auto entry = ReadPngText(test::ReadBytes(cache.FailPathFor(source->uri)));
  ASSERT_GE(entry.size(), 2u);
  EXPECT_EQ(entry[0], (std::pair<std::string, std::string>("Thumb::URI", source->uri)));
  // Neither the folder nor a file no decoder claims is a failure.
  EXPECT_FALSE(cache.HasFailure(*DescribeSource(folder)));
  EXPECT_FALSE(cache.HasFailure(*DescribeSource(text)));
  // Once the file changes it is tried again.
  SetMtime(broken, source->mtime - 100);
  EXPECT_FALSE(cache.HasFailure(*DescribeSource(broken)));
}

TEST(ThumbnailMaker, ScaledDecodesAreUprightAndFitTheSquare) {
  TempDir dir;
  // Left half red, right half green; orientation 6 turns it a quarter clockwise.
  const ImageBuffer picture = test::MakePicture(
      800, 400, [](int32_t x, int32_t) { return x < 400 ? 0xFFFF0000u : 0xFF00FF00u; });
  const std::string turned = dir.file("turned.jpg");
  ASSERT_TRUE(test::WriteJpeg(turned, picture, 6));
  const MadeThumbnail t = MakeThumbnail(turned, 128);
  ASSERT_EQ(t.outcome, ThumbnailOutcome::Made);
  EXPECT_EQ(t.pixels.width(), 64);
  EXPECT_EQ(t.pixels.height(), 128);
  EXPECT_EQ(t.sourceWidth, 400);
  EXPECT_EQ(t.sourceHeight, 800);
  EXPECT_GT((test::PixelAt(t.pixels, 32, 10) >> 16) & 0xFF, 0xE0u);  // red on top
  EXPECT_GT((test::PixelAt(t.pixels, 32, 118) >> 8) & 0xFF, 0xE0u);  // green below
  EXPECT_EQ(test::PixelAt(t.pixels, 0, 0) >> 24, 0xFFu);

  // The reduction stops where the picture still covers the wanted size.
  auto width = [&](int32_t w, int32_t h) {
    auto r = LoadJpegScaled(turned, [=](int32_t, int32_t) { return std::pair(w, h); });
    return r ? r->picture.width() : -1;
  };
  EXPECT_EQ(width(128, 64), 200);  // 1/8 would give 100 x 50
  EXPECT_EQ(width(100, 50), 100);

  // A small picture keeps its size; a WebP is scaled by its decoder.
  const std::string small = dir.file("small.webp");
  ASSERT_EQ(EncodeWebP(test::SolidPicture(40, 30, 0xFF112233).data(), 40, 30, 90, small.c_str(), false),
            nullptr);
  EXPECT_EQ(MakeThumbnail(small, 128).pixels.width(), 40);
  const std::string wide = dir.file("wide.webp");
  ASSERT_EQ(EncodeWebP(test::RandomPicture(1000, 250, 3).data(), 1000, 250, 80, wide.c_str(), false),
            nullptr);
  const MadeThumbnail w = MakeThumbnail(wide, 256);
  EXPECT_EQ(w.pixels.width(), 256);
  EXPECT_EQ(w.pixels.height(), 64);
  EXPECT_EQ(w.sourceWidth, 1000);
  const MadeThumbnail fromPng = MakeThumbnail(dir.file("none.png"), 128);
  EXPECT_EQ(fromPng.outcome, ThumbnailOutcome::Unreadable);
}

// The pictures a camera file carries. The main picture is green, the EXIF thumbnail red (its
// lower half magenta, to see which way up it came out) and the large preview blue, so the
// thumbnail's colours tell which of them it was made from.
std::vector<uint8_t> Encoded(const ImageBuffer& picture) {
  auto bytes = EncodeJpeg(picture.data(), picture.width(), picture.height(), 90, JpegChroma::Half);
  return bytes ? *bytes : std::vector<uint8_t>{};
}

// w x h with a red-over-magenta picture of `content` columns and `rows` rows in its middle,
// black around it (bars when it is smaller).
ImageBuffer Boxed(int32_t w, int32_t h, int32_t content, int32_t rows) {
  return test::MakePicture(w, h, [=](int32_t x, int32_t y) {
    const int32_t cx = x - (w - content) / 2, cy = y - (h - rows) / 2;
    if (cx < 0 || cx >= content || cy < 0 || cy >= rows) return 0xFF000000u;
    return cy < rows / 2 ? 0xFFFF0000u : 0xFFFF00FFu;
  });
}

char Colour(uint32_t px) {
  const uint32_t r = (px >> 16) & 0xFF, g = (px >> 8) & 0xFF, b = px & 0xFF;
  if (r > 180 && g < 80 && b < 80) return 'r';
  if (r > 180 && g < 80 && b > 180) return 'm';
  if (g > 180 && r < 80 && b < 80) return 'g';
  if (b > 180 && r < 80 && g < 80) return 'b';
  return '?';
}

TEST(ThumbnailMaker, PicturesTheFileCarriesAreUsedWhenTheyCoverTheCell) {
  struct Case {
    const char* name;
    int32_t side;
    std::optional<ImageBuffer> thumbnail;
    std::optional<ImageBuffer> preview;
    uint16_t orientation = 1;
    uint32_t offsetError = 0;
    bool damagedIndex = false;
    // Colours in the middle of the first and last rows (columns when turned), and the size.
    const char* colours;
    int32_t width, height;
    bool bigEndianExif = false;
  };
  std::vector<Case> cases;
  cases.push_back({"exif thumbnail of the same proportions", 128, Boxed(160, 107, 160, 107),
                   std::nullopt, 1, 0, false, "rm", 128, 85});
  cases.push_back({"letterboxed exif thumbnail: cropped", 128, Boxed(160, 120, 160, 107),
                   std::nullopt, 1, 0, false, "rm", 128, 85});
  cases.push_back({"letterboxed and turned a quarter", 128, Boxed(160, 120, 160, 107),
                   std::nullopt, 6, 0, false, "mr", 85, 128});
  cases.push_back({"letterboxed, turned, in a big-endian exif block", 128, Boxed(160, 120, 160, 107),
                   std::nullopt, 6, 0, false, "mr", 85, 128, true});
  cases.push_back({"squeezed exif thumbnail: not bars, full decode", 128, Boxed(160, 120, 160, 120),
                   std::nullopt, 1, 0, false, "gg", 128, 85});
  cases.push_back({"exif thumbnail smaller than the cell", 256, Boxed(160, 120, 160, 107),
                   std::nullopt, 1, 0, false, "gg", 256, 171});
  cases.push_back({"large preview", 256, Boxed(160, 120, 160, 107),
                   test::SolidPicture(480, 320, 0xFF0000FF), 1, 0, false, "bb", 256, 171});
  cases.push_back({"large preview, turned", 256, std::nullopt,
                   test::SolidPicture(480, 320, 0xFF0000FF), 8, 0, false, "bb", 171, 256});
  cases.push_back({"preview smaller than the cell", 256, std::nullopt,
                   test::SolidPicture(240, 160, 0xFF0000FF), 1, 0, false, "gg", 256, 171});
  cases.push_back({"preview offset beyond the file", 256, std::nullopt,
                   test::SolidPicture(480, 320, 0xFF0000FF), 1, 1u << 20, false, "gg", 256, 171});
  cases.push_back({"damaged index", 256, std::nullopt, test::SolidPicture(480, 320, 0xFF0000FF),
                   1, 0, true, "gg", 256, 171});
  cases.push_back({"preview of other proportions", 256, std::nullopt,
                   test::SolidPicture(480, 480, 0xFF0000FF), 1, 0, false, "gg", 256, 171});

  TempDir dir;
  const std::vector<uint8_t> main = Encoded(test::SolidPicture(1200, 800, 0xFF00FF00));
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    test::CameraParts parts;
    parts.main = main;
    if (c.thumbnail) parts.thumbnail = Encoded(*c.thumbnail);
    if (c.preview) parts.preview = Encoded(*c.preview);
    parts.orientation = c.orientation;
    parts.previewOffsetError = c.offsetError;
    parts.damagedIndex = c.damagedIndex;
    parts.bigEndianExif = c.bigEndianExif;
    const std::string path = dir.file("camera.jpg");
    test::WriteBytes(path, test::CameraJpeg(parts));
    const MadeThumbnail t = MakeThumbnail(path, c.side);
    ASSERT_EQ(t.outcome, ThumbnailOutcome::Made);
    EXPECT_EQ(t.pixels.width(), c.width);
    EXPECT_EQ(t.pixels.height(), c.height);
    // Turned a quarter, the picture's top and bottom rows (where the bars were) lie on the
    // left and right.
    const bool turned = c.orientation >= 5;
    const int32_t w = t.pixels.width(), h = t.pixels.height();
    EXPECT_EQ(Colour(turned ? test::PixelAt(t.pixels, 0, h / 2) : test::PixelAt(t.pixels, w / 2, 0)),
              c.colours[0]);
    EXPECT_EQ(Colour(turned ? test::PixelAt(t.pixels, w - 1, h / 2)
                            : test::PixelAt(t.pixels, w / 2, h - 1)),
              c.colours[1]);
    EXPECT_EQ(t.sourceWidth, turned ? 800 : 1200);
  }
}

}  // namespace
}  // namespace qp
