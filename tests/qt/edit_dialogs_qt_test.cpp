#include <gtest/gtest.h>

#include <QTest>

#include "qt/dialogs/add_borders_dialog.h"
#include "qt/dialogs/custom_selection_dialog.h"
#include "qt/dialogs/resample_dialog.h"
#include "qt/dialogs/select_colour_dialog.h"
#include "qt/qt_test_app.h"

namespace qp {
namespace {

TEST(QtEditDialogs, ResampleFollowsTheAspectAndRefusesBadSizes) {
  test::App();
  ResampleDialog model(1000, 750, false);
  ResampleForm form(model, nullptr);
  EXPECT_EQ(form.windowTitle(), "Resample Image");
  EXPECT_EQ(form.sharpen->text(), "Sharpen image after resampling");
  form.width->clear();
  QTest::keyClicks(form.width, "400");
  EXPECT_EQ(form.height->text(), "300");
  form.keepAspect->setChecked(false);
  form.height->clear();
  QTest::keyClicks(form.height, "-2");
  EXPECT_EQ(form.width->text(), "400");  // no longer followed

  form.ok->click();
  EXPECT_EQ(form.result(), QDialog::Rejected);  // still open
  EXPECT_EQ(form.error->text(), "The height cannot be negative.");
  form.height->setText("200");
  form.ok->click();
  EXPECT_EQ(form.result(), QDialog::Accepted);
  EXPECT_EQ(model.Request().width, 400);
  EXPECT_EQ(model.Request().height, 200);

  ResampleDialog vector(10, 10, true);
  ResampleForm vectorForm(vector, nullptr);
  EXPECT_FALSE(vectorForm.sharpen->isEnabled());
  EXPECT_FALSE(vectorForm.useResize->isEnabled());
  EXPECT_TRUE(vectorForm.sharpen->isChecked());
}

TEST(QtEditDialogs, EveryFieldIsCheckedBeforeOk) {
  test::App();
  AddBordersDialog borders(100, 50, 0x102030);
  AddBordersForm bordersForm(borders, nullptr);
  EXPECT_EQ(bordersForm.colour->text(), "#102030");
  bordersForm.right->setText("");
  bordersForm.ok->click();
  EXPECT_EQ(bordersForm.error->text(), "Please enter a number for the right border.");
  bordersForm.right->setText("999999999999");
  bordersForm.ok->click();
  EXPECT_EQ(bordersForm.error->text(), "The right border must not be more than 65536.");
  bordersForm.right->setText("4");
  bordersForm.ok->click();
  EXPECT_EQ(bordersForm.result(), QDialog::Accepted);
  EXPECT_EQ(borders.Sizes().right, 4);

  CustomSelectionDialog custom(640, 480);
  CustomSelectionForm customForm(custom, nullptr);
  EXPECT_EQ(customForm.width->text(), "640");
  customForm.top->setText("x");
  customForm.ok->click();
  EXPECT_EQ(customForm.error->text(), "The top must be a whole number.");
  customForm.cancel->click();
  EXPECT_EQ(customForm.result(), QDialog::Rejected);

  SelectColourForm colour(SelectColourDialog(0xFF8000), nullptr);
  EXPECT_EQ(colour.red->text(), "255");
  EXPECT_EQ(colour.green->text(), "128");
  EXPECT_EQ(colour.colour->text(), "#FF8000");
  EXPECT_TRUE(colour.colour->isReadOnly());
}

}  // namespace
}  // namespace qp
