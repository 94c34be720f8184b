// The one table of the formats the program knows. It drives the sniffer (signatures and the
// extensions they agree with), the load dispatch (decoder by content and by extension, and
// the fall-back rules), the save dispatch (encoder by target extension) and the file-dialog
// filter texts, so these can never disagree about a format.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

namespace qp {

// The decoders the load dispatch can call.
enum class DecoderId : uint8_t {
  None,
  Webp,
  Jpeg,
  Gif,
  Png,
  LibraryBmp,  // the external library's BMP loader
  LuraWave,
  Qoi,
  IsoMedia,    // AVIF through avifdec when the name ends in ".avif", else the video loader
  RawBgra,
  Icon,
  Avif,
  Video,
  Svg,
  Svgz,
  Plugin,      // the plug-in registered for the extension
};

// The encoders the save dispatch can call.
enum class EncoderId : uint8_t { None, Webp, RawBgra, Icon, Png, Jpeg, Qoi, Library };

// Who makes a pattern or filter entry available: always, or only when an optional component
// is present.
enum class Provider : uint8_t { Builtin, FreeImage, LuraWave, Avif, Video };

// A signature the sniffer recognises in the first 8 bytes.
struct SignatureRow {
  int32_t code;               // the positive sniff code
  uint8_t offset;             // where `magic` must stand
  std::string_view magic;     // compared byte by byte
  DecoderId decoder;          // the decoder when the content decides (negative code)
  bool whitenFallback;        // the external library's picture is whitened when it stands in
  bool contentForPictureLoad; // the secondary loader trusts the content, not the extension
};

// An extension the program knows (lower case, with its dot).
struct ExtensionRow {
  std::string_view ext;
  int32_t signature;        // the sniff code whose signature agrees with this extension, or 0
  int32_t withoutSignature; // the sniff code when no signature matched
  DecoderId decoder;        // the decoder chosen by the extension
  EncoderId encoder;        // the encoder chosen by a target with this extension
  int32_t libraryFormat;    // the external library's format number (encoder Library)
  bool listed;              // in the supported-file pattern list
  Provider provider;        // who makes the pattern available
};

// An entry of the open or save filter: "description|patterns".
struct FilterRow {
  std::string_view description;
  std::string_view patterns;  // "*.jpg;*.jpeg"
  Provider provider;
};

// The short type name of a sniff code, as the properties report shows it.
struct TypeNameRow {
  int32_t code;           // the positive sniff code
  std::string_view name;
  bool alsoWhenNegative;  // the signature under another extension's name is named too
};

std::span<const SignatureRow> Signatures();
std::span<const ExtensionRow> Extensions();
// The open filter's fixed entries after the supported-files entry.
std::span<const FilterRow> OpenFilterRows();
// The save filter's entries, in the order of their 1-based filter index.
std::span<const FilterRow> SaveFilterRows();

// The row of an extension (with its dot, any case), or null.
const ExtensionRow* FindExtension(std::string_view ext);
// The row of a positive sniff code, or null.
const SignatureRow* FindSignature(int32_t code);
// The type name of a signed sniff code; empty when the file's extension names the type.
std::string_view TypeNameOf(int32_t code);

}  // namespace qp
