#include "codecs/png.h"

#include <png.h>
#include <zlib.h>

#include <dirent.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "support/test_support.h"

namespace qp {
namespace {

std::vector<std::string> SuiteFiles() {
  std::vector<std::string> names;
  const std::string dir = test::TestDataDir() + "/pngsuite";
  if (DIR* d = opendir(dir.c_str())) {
    while (dirent* e = readdir(d)) {
      std::string n = e->d_name;
      if (n.size() > 4 && n.compare(n.size() - 4, 4, ".png") == 0) names.push_back(n);
    }
    closedir(d);
  }
  std::sort(names.begin(), names.end());
  return names;
}

// libpng's own simplified reader, 8-bit RGBA; gamma handling is left to the test: only files
// whose reference reading is not gamma-converted are compared (checked by a 16-bit read).
bool Reference(const std::string& path, std::vector<uint8_t>& rgba, uint32_t& w, uint32_t& h) {
  png_image image;
  std::memset(&image, 0, sizeof image);
  image.version = PNG_IMAGE_VERSION;
  // Without its gAMA chunk an 8-bit file is read as sRGB, so no gamma conversion happens.
  const auto file = test::ReadBytes(path);
  std::vector<uint8_t> bytes(file.begin(), file.begin() + std::min<size_t>(8, file.size()));
  for (size_t at = 8; at + 12 <= file.size();) {
    const size_t length = size_t{file[at]} << 24 | size_t{file[at + 1]} << 16 |
                          size_t{file[at + 2]} << 8 | file[at + 3];
    if (length > file.size() - at - 12) break;
    if (std::memcmp(file.data() + at + 4, "gAMA", 4) != 0)
      bytes.insert(bytes.end(), file.begin() + static_cast<long>(at),
                   file.begin() + static_cast<long>(at + 12 + length));
    at += 12 + length;
  }
  if (!png_image_begin_read_from_memory(&image, bytes.data(), bytes.size())) return false;
  image.format = PNG_FORMAT_RGBA;
  rgba.resize(PNG_IMAGE_SIZE(image));
  w = image.width;
  h = image.height;
  return png_image_finish_read(&image, nullptr, rgba.data(), 0, nullptr) != 0;
}

bool HasTransparencyChunk(const std::string& path) {
  const auto bytes = test::ReadBytes(path);
  for (size_t i = 0; i + 4 <= bytes.size(); ++i)
    if (std::memcmp(bytes.data() + i, "tRNS", 4) == 0) return true;
  return false;
}

TEST(Png, SuiteMatchesLibpng) {
  const auto files = SuiteFiles();
  if (files.empty()) GTEST_SKIP() << "no PngSuite";
  int compared = 0;
  for (const auto& name : files) {
    SCOPED_TRACE(name);
    const std::string path = test::TestDataDir() + "/pngsuite/" + name;
    auto img = LoadPng(path);
    const DecodeDetails& s = img.details;
    if (name[0] == 'x') {  // the suite's deliberately broken files
      EXPECT_FALSE(img);
      continue;
    }
    ASSERT_TRUE(img);
    EXPECT_TRUE(s.detailsValid);
    // An alpha channel or a transparency chunk makes a picture with transparency.
    EXPECT_EQ(s.hasAlpha, (s.pngColourType & 4) != 0 || HasTransparencyChunk(path));
    std::vector<uint8_t> ref;
    uint32_t w = 0, h = 0;
    ASSERT_TRUE(Reference(path, ref, w, h));
    ASSERT_EQ(img->width(), static_cast<int32_t>(w));
    ASSERT_EQ(img->height(), static_cast<int32_t>(h));
    // The simplified reader converts 16-bit samples from linear light; compare 8-bit files.
    if (s.pngBitDepth == 16) continue;
    ++compared;
    int bad = 0;
    const bool transparentKind = (s.pngColourType & 4) || HasTransparencyChunk(path);
    for (size_t i = 0; i < size_t{w} * h && bad < 3; ++i) {
      const uint8_t* p = img->data() + i * 4;
      const uint8_t* r = ref.data() + i * 4;
      uint8_t want[4] = {r[2], r[1], r[0], r[3]};
      if (r[3] == 0) want[0] = want[1] = want[2] = 255;
      // Pictures without an alpha channel or transparency chunk come back with alpha 0.
      if (!transparentKind) want[3] = 0;
      if (std::memcmp(p, want, 4) != 0) {
        ++bad;
        ADD_FAILURE() << "pixel " << i;
      }
    }
  }
  EXPECT_GT(compared, 20);
}

TEST(Png, DetailsOfSelectedFiles) {
  const std::string dir = test::TestDataDir() + "/pngsuite/";
  if (SuiteFiles().empty()) GTEST_SKIP() << "no PngSuite";
  {
    auto img = LoadPng(dir + "basn6a16.png");  // 16-bit RGBA
    ASSERT_TRUE(img);
    EXPECT_EQ(img.details.pngBitDepth, 16);
    EXPECT_EQ(img.details.pngColourType, 6);
    EXPECT_TRUE(img.details.hasAlpha);
    EXPECT_TRUE(HasMeaningfulAlpha(*img));
  }
  {
    auto img = LoadPng(dir + "tbbn3p08.png");  // palette with a transparency chunk
    if (!img) img = LoadPng(dir + "ftbbn3p08.png");
    ASSERT_TRUE(img);
    EXPECT_EQ(img.details.pngColourType, 3);
    EXPECT_TRUE(img.details.hasAlpha);
    EXPECT_TRUE(HasMeaningfulAlpha(*img));
    for (size_t i = 0; i < img->pixelCount(); ++i)
      if (img->data()[i * 4 + 3] == 0) {
        ASSERT_EQ(LoadPixel(img->data() + i * 4), 0x00FFFFFFu);
      }
  }
  {
    auto img = LoadPng(dir + "basn0g02.png");  // 2-bit gray: sample 3 becomes 255
    ASSERT_TRUE(img);
    EXPECT_EQ(img.details.pngBitDepth, 2);
    EXPECT_FALSE(img.details.hasAlpha);
    bool sawWhite = false;
    for (size_t i = 0; i < img->pixelCount(); ++i) {
      const uint8_t* p = img->data() + i * 4;
      ASSERT_TRUE(p[0] == 0 || p[0] == 85 || p[0] == 170 || p[0] == 255);
      ASSERT_EQ(p[0], p[2]);
      sawWhite |= p[0] == 255;
    }
    EXPECT_TRUE(sawWhite);
  }
}

TEST(Png, SaveChoosesRgbOrRgba) {
  test::TempDir dir;
  auto check = [&](const ImageBuffer& img, int wantType) {
    const std::string path = dir.file("x.png");
    ASSERT_EQ(SavePng(img.data(), img.width(), img.height(), 100, path.c_str()), nullptr);
    auto back = LoadPng(path);
    ASSERT_TRUE(back);
    EXPECT_EQ(back.details.pngColourType, wantType);
    for (size_t i = 0; i < img.pixelCount(); ++i) {
      const uint8_t* a = img.data() + i * 4;
      const uint8_t* b = back->data() + i * 4;
      ASSERT_EQ(std::memcmp(a, b, 3), 0) << i;
      if (wantType == 6) {
        ASSERT_EQ(a[3], b[3]);
      }
    }
  };
  check(test::SolidPicture(5, 3, 0xFF123456), 2);
  check(test::SolidPicture(5, 3, 0x00123456), 2);
  ImageBuffer varied = test::RandomPicture(9, 4, 5);
  for (size_t i = 0; i < varied.pixelCount(); ++i) varied.data()[i * 4 + 3] = 255;
  varied.data()[7 * 4 + 3] = 128;
  check(varied, 6);
  EXPECT_STREQ(SavePng(varied.data(), 9, 4, 100, dir.file("no/dir.png").c_str()),
               "Could not save PNG file");
}

// The chunks of a PNG file (type and data), and a file built from chunks with fresh CRCs.
struct Chunk {
  std::string type;
  std::vector<uint8_t> data;
};

std::vector<Chunk> ChunksOf(const std::vector<uint8_t>& png) {
  std::vector<Chunk> out;
  for (size_t at = 8; at + 12 <= png.size();) {
    const size_t length = size_t{png[at]} << 24 | size_t{png[at + 1]} << 16 |
                          size_t{png[at + 2]} << 8 | png[at + 3];
    out.push_back({std::string(png.begin() + static_cast<long>(at + 4),
                               png.begin() + static_cast<long>(at + 8)),
                   std::vector<uint8_t>(png.begin() + static_cast<long>(at + 8),
                                        png.begin() + static_cast<long>(at + 8 + length))});
    at += 12 + length;
  }
  return out;
}

std::vector<uint8_t> PngOf(const std::vector<Chunk>& chunks) {
  std::vector<uint8_t> out{137, 'P', 'N', 'G', 13, 10, 26, 10};
  auto put32 = [&](uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<uint8_t>(v >> shift));
  };
  for (const Chunk& c : chunks) {
    put32(static_cast<uint32_t>(c.data.size()));
    const size_t start = out.size();
    out.insert(out.end(), c.type.begin(), c.type.end());
    out.insert(out.end(), c.data.begin(), c.data.end());
    put32(static_cast<uint32_t>(crc32(0, out.data() + start, static_cast<uInt>(out.size() - start))));
  }
  return out;
}

// Truncated and corrupted files: every one of them gives no picture. Damage is made both with
// the CRC left stale (the library refuses the chunk) and with a fresh CRC (the content itself
// is refused).
TEST(Png, MalformedFilesFailCleanly) {
  test::TempDir dir;
  ImageBuffer a = test::RandomPicture(20, 10, 9, true);
  ASSERT_EQ(SavePng(a.data(), 20, 10, 100, dir.file("a.png").c_str()), nullptr);
  const auto good = test::ReadBytes(dir.file("a.png"));
  const std::vector<Chunk> chunks = ChunksOf(good);
  ASSERT_GE(chunks.size(), 3u);
  ASSERT_EQ(chunks.front().type, "IHDR");
  ASSERT_EQ(chunks.back().type, "IEND");
  auto flipped = [&](size_t at) {
    auto b = good;
    b[at] ^= 0x5A;
    return b;
  };
  // The chunks with IHDR byte `at` set to `v`.
  auto header = [&](size_t at, uint8_t v) {
    auto c = chunks;
    c.front().data[at] = v;
    return PngOf(c);
  };
  auto idat = [&](std::vector<uint8_t> data) {
    return PngOf({chunks.front(), {"IDAT", std::move(data)}, chunks.back()});
  };
  auto compressed = [](size_t rawBytes) {
    std::vector<uint8_t> raw(rawBytes, 0);  // filter byte 0 and black pixels
    uLongf size = compressBound(static_cast<uLong>(raw.size()));
    std::vector<uint8_t> out(size);
    compress(out.data(), &size, raw.data(), static_cast<uLong>(raw.size()));
    out.resize(size);
    return out;
  };
  const size_t rowBytes = 1 + 20 * 4;

  std::vector<std::pair<std::string, std::vector<uint8_t>>> cases = {
      {"empty", {}},
      {"signature only", {137, 'P', 'N', 'G', 13, 10, 26, 10}},
      {"damaged signature", flipped(1)},
      {"no IDAT", PngOf({chunks.front(), chunks.back()})},
      {"IDAT of damaged deflate data", idat({0x78, 0x9C, 0xFF, 0xFF, 0xFF, 0xFF, 0, 1})},
      {"IDAT of too few rows", idat(compressed(rowBytes * 9))},
      {"IDAT rows with filter type 9", [&] {
         std::vector<uint8_t> raw(rowBytes * 10, 0);
         raw[0] = 9;
         uLongf size = compressBound(static_cast<uLong>(raw.size()));
         std::vector<uint8_t> out(size);
         compress(out.data(), &size, raw.data(), static_cast<uLong>(raw.size()));
         out.resize(size);
         return idat(out);
       }()},
      {"palette type without PLTE", header(9, 3)},
      {"unknown critical chunk", PngOf({chunks.front(), {"QPXZ", {1, 2, 3}}, chunks[1], chunks.back()})},
      {"width 0", header(3, 0)},
      {"bit depth 3", header(8, 3)},
      {"colour type 5", header(9, 5)},
      {"RGBA at bit depth 4", header(8, 4)},
      {"compression method 1", header(10, 1)},
      {"filter method 1", header(11, 1)},
      {"interlace method 2", header(12, 2)},
      {"width above 2^31", header(0, 0x80)},
      {"2^30 x 2^30 pixels", [&] {
         auto c = chunks;
         c.front().data[0] = 0x40;
         c.front().data[4] = 0x40;
         return PngOf(c);
       }()},
  };
  for (size_t n : {9, 20, 33, 40, 60, 100, 200}) {
    cases.push_back({"cut at " + std::to_string(n), {good.begin(), good.begin() + static_cast<long>(n)}});
  }
  // Stale CRCs: IHDR type, size, depth and CRC; IDAT length and data.
  for (size_t at : {12, 16, 19, 24, 25, 28, 30, 34, 45, 70}) {
    cases.push_back({"byte " + std::to_string(at) + " damaged", flipped(at)});
  }
  for (const auto& [what, bytes] : cases) {
    SCOPED_TRACE(what);
    EXPECT_FALSE(DecodePng(bytes));
  }

  // A header too large to decode is still read: its details are recorded before the refusal.
  {
    auto c = chunks;
    c.front().data[1] = 0x20;  // 2^21 pixels wide
    c.front().data[2] = 0;
    c.front().data[3] = 0;
    const DecodeResult r = DecodePng(PngOf(c));
    EXPECT_FALSE(r);
    EXPECT_TRUE(r.details.detailsValid);
    EXPECT_EQ(r.details.pngColourType, 6);
    EXPECT_EQ(r.details.pngBitDepth, 8);
    EXPECT_TRUE(r.details.hasAlpha);
  }

  // Damage the picture does not depend on: no IEND, an ancillary chunk with a stale CRC,
  // bytes after the end.
  auto noEnd = std::vector<uint8_t>(good.begin(), good.end() - 12);
  auto text = PngOf({chunks.front(), {"tEXt", {'a', 0, 'b'}}, chunks[1], chunks.back()});
  text[8 + 25 + 8 + 3] ^= 0xFF;  // the tEXt chunk's CRC
  auto trailing = good;
  trailing.insert(trailing.end(), {1, 2, 3, 4, 5});
  for (const auto& bytes : {noEnd, text, trailing}) {
    auto img = DecodePng(bytes);
    ASSERT_TRUE(img);
    EXPECT_EQ(img->width(), 20);
    EXPECT_EQ(img->height(), 10);
  }
}

std::vector<uint8_t> Bytes(const DecodeResult& img) {
  if (!img) return {};
  return {img->data(), img->data() + img->byteSize()};
}

// LoadPng streams the file, finishes each row as it arrives and has a picture this large
// prefaulted on a second thread; it must give exactly what decoding the same bytes in memory
// gives (interlaced or not, whole or cut short), with transparent pixels white.
TEST(Png, FileReadsMatchMemoryReads) {
  test::TempDir dir;
  const int32_t w = 2100, h = 2050;  // over 16 MiB of output
  ImageBuffer a = test::RandomPicture(w, h, 11, /*withAlpha=*/true);
  for (size_t i = 0; i < a.pixelCount(); i += 7) a.data()[i * 4 + 3] = 0;
  ASSERT_EQ(SavePng(a.data(), w, h, 100, dir.file("big.png").c_str()), nullptr);
  const auto good = test::ReadBytes(dir.file("big.png"));
  auto fromFile = LoadPng(dir.file("big.png"));
  ASSERT_TRUE(fromFile);
  EXPECT_EQ(Bytes(fromFile), Bytes(DecodePng(good)));
  EXPECT_TRUE(fromFile.details.hasAlpha);
  for (size_t i = 0; i < a.pixelCount(); ++i) {
    const uint8_t* p = fromFile->data() + i * 4;
    const uint8_t* q = a.data() + i * 4;
    if (q[3] == 0)
      ASSERT_TRUE(p[0] == 255 && p[1] == 255 && p[2] == 255 && p[3] == 0) << i;
    else
      ASSERT_TRUE(std::equal(p, p + 4, q)) << i;
  }
  for (size_t cut : {size_t{8}, size_t{40}, good.size() / 2, good.size() - 13}) {
    const std::vector<uint8_t> part(good.begin(), good.begin() + static_cast<long>(cut));
    test::WriteBytes(dir.file("cut.png"), part);
    EXPECT_EQ(Bytes(LoadPng(dir.file("cut.png"))), Bytes(DecodePng(part))) << cut;
  }
  if (test::HaveTool("convert")) {
    ImageBuffer small = test::RandomPicture(301, 203, 4, /*withAlpha=*/true);
    ASSERT_EQ(SavePng(small.data(), 301, 203, 100, dir.file("plain.png").c_str()), nullptr);
    ASSERT_EQ(test::RunShell("convert " + test::ShellQuote(dir.file("plain.png")) +
                             " -interlace PNG " + test::ShellQuote(dir.file("adam7.png"))), 0);
    auto adam7 = LoadPng(dir.file("adam7.png"));
    ASSERT_TRUE(adam7);
    EXPECT_EQ(Bytes(adam7), Bytes(LoadPng(dir.file("plain.png"))));
  }
  EXPECT_FALSE(LoadPng(dir.path()));  // a folder is not a file
}

}  // namespace
}  // namespace qp
