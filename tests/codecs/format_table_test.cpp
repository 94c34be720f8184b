#include "codecs/format_table.h"

#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>

#include "codecs/file_filters.h"
#include "codecs/sniff.h"

namespace qp {
namespace {

// The extensions of a ";"-separated pattern list ("*.jpg;*.jpeg" -> ".jpg", ".jpeg").
std::vector<std::string> ExtensionsOf(std::string_view patterns) {
  std::vector<std::string> out;
  size_t at = 0;
  while (at < patterns.size()) {
    size_t end = patterns.find(';', at);
    if (end == std::string_view::npos) end = patterns.size();
    out.emplace_back(patterns.substr(at + 1, end - at - 1));
    at = end + 1;
  }
  return out;
}

TEST(FormatTable, RowsAreUniqueAndConsistent) {
  std::set<std::string> seen;
  for (const ExtensionRow& row : Extensions()) {
    SCOPED_TRACE(std::string(row.ext));
    EXPECT_TRUE(seen.insert(std::string(row.ext)).second);
    EXPECT_EQ(row.ext[0], '.');
    if (row.signature != 0) {
      ASSERT_NE(FindSignature(row.signature), nullptr);
    }
    EXPECT_EQ(row.libraryFormat != 0 || row.ext == ".bmp", row.encoder == EncoderId::Library);
  }
  // Every signature agrees with at least one extension.
  for (const SignatureRow& sig : Signatures()) {
    bool agreed = false;
    for (const ExtensionRow& row : Extensions()) agreed |= row.signature == sig.code;
    EXPECT_TRUE(agreed) << sig.code;
  }
}

// The dialogs offer only what the program can do: every save entry names an extension that
// has an encoder, and every open entry names listed extensions.
TEST(FormatTable, FilterEntriesMatchTheRows) {
  for (const FilterRow& f : SaveFilterRows()) {
    for (const std::string& ext : ExtensionsOf(f.patterns)) {
      const ExtensionRow* row = FindExtension(ext);
      ASSERT_NE(row, nullptr) << ext;
      EXPECT_NE(row->encoder, EncoderId::None) << ext;
      // Formats only the external library writes are offered only when it is present.
      if (row->encoder == EncoderId::Library) {
        EXPECT_EQ(f.provider, Provider::FreeImage) << ext;
      }
    }
  }
  for (const FilterRow& f : OpenFilterRows()) {
    for (const std::string& ext : ExtensionsOf(f.patterns)) {
      const ExtensionRow* row = FindExtension(ext);
      ASSERT_NE(row, nullptr) << ext;
      EXPECT_TRUE(row->listed) << ext;
    }
  }
  const FileFilterSet all = BuildFileFilters({true, true, true, true}, {});
  EXPECT_EQ(all.patterns,
            "*.webp;*.jpg;*.jpeg;*.gif;*.bmp;*.dib;*.png;*.tif;*.tiff;*.wmf;*.emf;*.ico;*.bgra;"
            "*.svg;*.svgz;*.qoi;*.lst;*.jp2;*.j2k;*.jif;*.jfif;*.pbm;*.pgm;*.ppm;*.pcd;*.pcx;"
            "*.psd;*.lbm;*.tga;*.targa;*.koa;*.ras;*.cut;*.lwf;*.avif;*.mp4;*.webm");
}

// Each signature under each extension: it agrees exactly under the extensions whose row names
// it, whatever the case of the name.
TEST(FormatTable, SniffAgreesWithTheRows) {
  for (const SignatureRow& sig : Signatures()) {
    uint8_t head[8] = {0x20, 0x20, 0x20, 0x20, 0x20, 0x20, 0x20, 0x20};
    std::memcpy(head + sig.offset, sig.magic.data(), sig.magic.size());
    for (const ExtensionRow& row : Extensions()) {
      std::string name = "a" + std::string(row.ext);
      for (char& ch : name) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
      const int32_t want = row.signature == sig.code ? sig.code : -sig.code;
      EXPECT_EQ(SniffBytes(name, head, 8), want) << name << " " << sig.code;
    }
  }
}

}  // namespace
}  // namespace qp
