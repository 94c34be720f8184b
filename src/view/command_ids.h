// Command ids the view's selection, mouse and edit code run or produce.
#pragma once

#include <cstdint>

namespace qp::cmd {

// Produced by the mouse and by gestures.
inline constexpr uint16_t kPreviousFile = 4002;
inline constexpr uint16_t kNextFile = 4028;
inline constexpr uint16_t kReload = 4025;
inline constexpr uint16_t kPauseAnimation = 4027;
inline constexpr uint16_t kZoomIn = 4031;
inline constexpr uint16_t kZoomOut = 4032;
inline constexpr uint16_t kDoubleZoom = 4036;
inline constexpr uint16_t kHalveZoom = 4037;
inline constexpr uint16_t kExit = 4040;

// The Image, Draw, Edit and Transparency menus, and the selection's internal commands.
inline constexpr uint16_t kRotateLeft = 4099;
inline constexpr uint16_t kRotateRight = 4100;
inline constexpr uint16_t kVerticalFlip = 4101;
inline constexpr uint16_t kHorizontalFlip = 4102;
inline constexpr uint16_t kUpsideDown = 4103;
inline constexpr uint16_t kCrop = 4104;
inline constexpr uint16_t kSharpen = 4106;
inline constexpr uint16_t kSoften = 4107;
inline constexpr uint16_t kBlur = 4108;
inline constexpr uint16_t kPixelate = 4109;
inline constexpr uint16_t kAspect1x1 = 4112;
inline constexpr uint16_t kAspect4x3 = 4113;
inline constexpr uint16_t kAspect16x9 = 4114;
inline constexpr uint16_t kSharpenMore = 4115;
inline constexpr uint16_t kResample = 4116;
inline constexpr uint16_t kCustomSelection = 4117;
inline constexpr uint16_t kToggleTransparency = 4119;
inline constexpr uint16_t kNegative = 4120;
inline constexpr uint16_t kGrayscale = 4121;
inline constexpr uint16_t kOutline = 4124;
inline constexpr uint16_t kFloydSteinberg = 4128;
inline constexpr uint16_t kThresholdDither = 4132;
inline constexpr uint16_t kLeftRightSwap = 4133;
inline constexpr uint16_t kTrimBorders = 4134;
inline constexpr uint16_t kRemoveTransparency = 4136;
inline constexpr uint16_t kSetToBackground = 4140;
inline constexpr uint16_t kFillFromBackground = 4141;
inline constexpr uint16_t kRoundedCorners = 4142;
inline constexpr uint16_t kViewTransparencyOnly = 4146;
inline constexpr uint16_t kPasteWithTransparency = 4147;
inline constexpr uint16_t kCopyFrame = 4149;
inline constexpr uint16_t kEllipse = 4151;
inline constexpr uint16_t kRectangle = 4152;
inline constexpr uint16_t kBox = 4170;
inline constexpr uint16_t kJoinAbove = 4171;
inline constexpr uint16_t kJoinRight = 4172;
inline constexpr uint16_t kJoinLeft = 4173;
inline constexpr uint16_t kJoinBelow = 4174;
inline constexpr uint16_t kBlackAndWhite = 4175;
inline constexpr uint16_t kLoadFromImage = 4176;
inline constexpr uint16_t kAddBorders = 4177;
inline constexpr uint16_t kShowSelectedColour = 4178;
inline constexpr uint16_t kAspect15x10 = 4180;
inline constexpr uint16_t kAspect10x8 = 4181;
inline constexpr uint16_t kClearSelection = 4038;
inline constexpr uint16_t kSelectionQuery = 4039;
inline constexpr uint16_t kCopy = 57634;
inline constexpr uint16_t kPaste = 57637;
inline constexpr uint16_t kSelectAll = 57642;
inline constexpr uint16_t kUndo = 57643;

}  // namespace qp::cmd
