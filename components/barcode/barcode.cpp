// The barcode component. One export:
//
//   int ReadBarcode(int width, int height, const unsigned char* pixels, int capacity,
//                   char* result)
//
// `pixels` holds width x height grey bytes, rows top first. The first symbol zbar decodes is
// written to `result` as "<symbol type>:<data>", cut to `capacity` bytes plus a terminating
// NUL. Returns the length written (above 0), 0 when no symbol was found, -1 for bad arguments
// and -2 when zbar could not be set up.
#include <zbar.h>

#include <cstdint>
#include <cstring>
#include <memory>

// zbar.h declares its C interface inside namespace zbar when compiled as C++.
using namespace zbar;

namespace {

struct ScannerDeleter {
  void operator()(zbar_image_scanner_t* s) const { zbar_image_scanner_destroy(s); }
};
struct ImageDeleter {
  void operator()(zbar_image_t* i) const { zbar_image_destroy(i); }
};

}  // namespace

extern "C" __attribute__((visibility("default"))) int ReadBarcode(int width, int height,
                                                                  const unsigned char* pixels,
                                                                  int capacity, char* result) {
  if (width <= 0 || height <= 0 || pixels == nullptr || capacity < 0 || result == nullptr)
    return -1;
  // zbar keeps sizes in unsigned ints; the caller's picture is far below that.
  if (static_cast<uint64_t>(width) * static_cast<uint64_t>(height) > (uint64_t{1} << 31)) return -1;
  std::unique_ptr<zbar_image_scanner_t, ScannerDeleter> scanner(zbar_image_scanner_create());
  std::unique_ptr<zbar_image_t, ImageDeleter> image(zbar_image_create());
  if (!scanner || !image) return -2;
  zbar_image_scanner_set_config(scanner.get(), ZBAR_NONE, ZBAR_CFG_ENABLE, 1);
  zbar_image_set_format(image.get(), zbar_fourcc('Y', '8', '0', '0'));
  zbar_image_set_size(image.get(), static_cast<unsigned>(width), static_cast<unsigned>(height));
  // The caller owns the pixels: no clean-up handler, zbar only reads them.
  zbar_image_set_data(image.get(), pixels, static_cast<unsigned long>(width) * height, nullptr);
  if (zbar_scan_image(scanner.get(), image.get()) <= 0) {
    result[0] = '\0';
    return 0;
  }
  const zbar_symbol_t* symbol = zbar_image_first_symbol(image.get());
  if (symbol == nullptr) return 0;
  const char* type = zbar_get_symbol_name(zbar_symbol_get_type(symbol));
  const char* data = zbar_symbol_get_data(symbol);
  const size_t dataLength = zbar_symbol_get_data_length(symbol);
  const size_t typeLength = std::strlen(type);
  const size_t room = static_cast<size_t>(capacity);
  size_t n = 0;
  auto put = [&](const char* text, size_t length) {
    const size_t take = length < room - n ? length : room - n;
    std::memcpy(result + n, text, take);
    n += take;
  };
  put(type, typeLength);
  put(":", 1);
  put(data, dataLength);
  result[n] = '\0';
  return n > 0 ? static_cast<int>(n) : 0;
}
