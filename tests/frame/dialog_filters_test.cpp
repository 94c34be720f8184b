#include "frame/dialog_filters.h"

#include <gtest/gtest.h>

namespace qp {
namespace {

TEST(DialogFilters, EntriesKeepTheirOrderAndPatterns) {
  EXPECT_EQ(ToNameFilters("Supported Image Files|*.webp;*.jpg|Google Webp (*.webp)|*.webp|"
                          "All Files (*.*)|*.*||"),
            (std::vector<std::string>{"Supported Image Files (*.webp *.jpg)",
                                      "Google Webp (*.webp)", "All Files (*)"}));
  // Two entries with one pattern stay two entries, so the chosen number still means the same.
  EXPECT_EQ(ToNameFilters("Google Webp (*.webp)|*.webp|Google Lossless Webp (*.webp)|*.webp||")
                .size(),
            2u);
  EXPECT_EQ(ToNameFilters("Tagged Image Format (*.tif)|*.tif;*.tiff||"),
            std::vector<std::string>{"Tagged Image Format (*.tif *.tiff)"});
  EXPECT_TRUE(ToNameFilters("").empty());
  EXPECT_TRUE(ToNameFilters("||").empty());
}

}  // namespace
}  // namespace qp
