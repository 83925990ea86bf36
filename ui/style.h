#pragma once

#include <QColor>
#include <QRgb>

// Every colour and size of the launcher's painted look, in one place, so that the widgets,
// the artwork tool and the gallery agree on them.
namespace vorn::style {

constexpr QRgb hex(unsigned value) { return 0xff000000u | value; }
constexpr QRgb rgba(int r, int g, int b, int a) { return qRgba(r, g, b, a); }
inline QColor color(QRgb value) { return QColor::fromRgba(value); }

// Window geometry.
constexpr int kWindowWidth = 1060;
constexpr int kWindowHeight = 620;
constexpr int kTitleBarHeight = 82;
constexpr int kFooterHeight = 112;
constexpr int kLogHeight = 80;
constexpr int kLogMaxLines = 300;
constexpr int kLogShownColumnMargin = 12;
constexpr int kResizeBorder = 7;
constexpr int kHeaderLogoSize = 74;
constexpr int kHeaderLogoIconWidth = 72;
constexpr int kHeaderLogoIconHeight = 68;
constexpr int kWordmarkWidth = 116;
constexpr int kWordmarkHeight = 74;
constexpr int kWordmarkIconHeight = 72;
constexpr int kHeaderActionsHeight = 68;
constexpr int kSocialButtonSize = 34;
constexpr int kSocialIconSize = 27;
constexpr int kLanguageButtonWidth = 48;
constexpr int kLanguageButtonHeight = 34;
constexpr int kWindowControlWidth = 34;
constexpr int kWindowControlHeight = 30;
constexpr int kNewsListHeight = 206;
constexpr int kNewsCardHeight = 200;
constexpr int kNewsCardMinWidth = 300;
constexpr int kNewsArrowWidth = 34;
constexpr int kNavigationPanelHeight = 164;
constexpr int kArtworkButtonWidth = 200;
constexpr int kArtworkButtonHeight = 150;
constexpr int kCardWidth = 292;
constexpr int kChronicleCardHeight = 164;
constexpr int kChronicleLogoWidth = 286;
constexpr int kChronicleLogoHeight = 104;
constexpr int kProfileCardHeight = 176;
constexpr int kProfileOptionHeight = 55;
constexpr int kProgressBarHeight = 16;
constexpr int kUtilityButtonSize = 52;
constexpr int kPlayButtonWidth = 246;
constexpr int kPlayButtonHeight = 74;
constexpr int kReleaseLabelHeight = 10;
constexpr double kNewsScaleMax = 1.5;

// Nine-patch borders of the framed plates.
constexpr int kNinePatchMaxBorderX = 14;
constexpr int kNinePatchMaxBorderY = 8;

// Brand wordmark pixel pass: what counts as a warm gold stroke.
constexpr int kWordmarkMinAlpha = 8;
constexpr int kWordmarkMinRed = 52;
constexpr int kWordmarkRedOverBlue = 13;
constexpr int kWordmarkGreenOverBlue = 4;
constexpr int kWordmarkHalo = 2;

// Dialog close button and window controls.
constexpr QRgb kCloseHoverTop = rgba(116, 34, 38, 220);
constexpr QRgb kCloseHoverBottom = rgba(61, 18, 22, 230);
constexpr QRgb kCloseHoverOutline = rgba(170, 60, 64, 190);
constexpr QRgb kMinimizeHoverTop = rgba(116, 77, 24, 215);
constexpr QRgb kMinimizeHoverBottom = rgba(58, 37, 14, 225);
constexpr QRgb kMinimizeHoverOutline = rgba(178, 125, 42, 185);
constexpr QRgb kCloseGlyphHover = hex(0xef7772);
constexpr QRgb kMinimizeGlyphHover = hex(0xe4ad45);
constexpr QRgb kControlGlyph = hex(0x92999f);
constexpr double kControlGlyphPen = 1.6;
constexpr double kCloseGlyphReach = 4.5;

// Check box.
constexpr int kCheckIndicatorSize = 17;
constexpr int kCheckMinHeight = 23;
constexpr QRgb kCheckOutlineHover = hex(0xa77a2d);
constexpr QRgb kCheckOutline = hex(0x565346);
constexpr QRgb kCheckOutlineDisabled = hex(0x30363e);
constexpr QRgb kCheckFillTop = hex(0xe0b655);
constexpr QRgb kCheckFillBottom = hex(0xa87421);
constexpr QRgb kCheckFillDisabledTop = hex(0x6e6247);
constexpr QRgb kCheckFillDisabledBottom = hex(0x514a3a);
constexpr QRgb kCheckEmpty = hex(0x090f16);
constexpr QRgb kCheckTick = hex(0x11161b);
constexpr QRgb kCheckTextHover = hex(0xd0c8b9);
constexpr QRgb kCheckText = hex(0xadb5bf);
constexpr QRgb kCheckTextDisabled = hex(0x59616b);

// Spin-box and combo-box chevrons.
constexpr QRgb kArrowHover = hex(0xd5a348);
constexpr QRgb kArrow = hex(0x929ba5);
constexpr QRgb kSpinButtonBackground = hex(0x111923);
constexpr int kComboArrowFallbackWidth = 28;

// Message box badges.
constexpr QRgb kBadgeInformation = hex(0xb88a35);
constexpr QRgb kBadgeWarning = hex(0xb68a3e);
constexpr QRgb kBadgeError = hex(0xa65d50);
constexpr int kBadgeSize = 34;
constexpr int kMessageMinWidth = 390;
constexpr int kMessageMaxWidth = 520;

// Tool tips.
constexpr int kToolTipGap = 8;
constexpr int kToolTipScreenMargin = 4;

// Launch button.
constexpr QRgb kLaunchPressedOverlay = rgba(20, 9, 0, 65);
constexpr QRgb kLaunchHoverOverlay = rgba(255, 200, 74, 18);
constexpr QRgb kLaunchDisabledVeil = rgba(3, 5, 7, 105);
constexpr QRgb kLaunchShadow = rgba(9, 5, 1, 220);
constexpr int kLaunchShadowDisabledAlpha = 125;
constexpr QRgb kLaunchTextHover = hex(0xfff2bf);
constexpr QRgb kLaunchText = hex(0xd8c18d);
constexpr QRgb kLaunchTextDisabled = hex(0x6f6a61);
constexpr int kLaunchTextPixelSize = 27;
constexpr double kLaunchLetterSpacing = 1.2;

// Progress bar.
constexpr QRgb kTrackOutline = rgba(108, 79, 36, 155);
constexpr QRgb kTrackTop = rgba(4, 8, 11, 245);
constexpr QRgb kTrackMiddle = rgba(13, 17, 19, 245);
constexpr QRgb kTrackBottom = rgba(2, 5, 7, 250);
constexpr QRgb kFillStops[5] = {hex(0xfff0a2), hex(0xe9bd5a), hex(0xc78a2e), hex(0x9a5e1b),
                                hex(0x6d3d10)};
constexpr double kFillStopPositions[5] = {0.0, 0.18, 0.52, 0.82, 1.0};
constexpr QRgb kFillSheenStops[4] = {rgba(255, 225, 145, 40), rgba(255, 246, 198, 85),
                                     rgba(255, 224, 130, 22), rgba(255, 255, 255, 95)};
constexpr double kFillSheenPositions[4] = {0.0, 0.42, 0.72, 1.0};
constexpr QRgb kFillHighlight = rgba(255, 241, 190, 105);
constexpr QRgb kFillShadow = rgba(83, 43, 8, 95);
constexpr QRgb kFillHatch = rgba(255, 228, 157, 18);
constexpr QRgb kGlowCore = rgba(255, 247, 202, 210);
constexpr QRgb kGlowMiddle = rgba(255, 205, 89, 70);
constexpr QRgb kGlowEdge = rgba(255, 190, 70, 0);
constexpr QRgb kFillOutline = rgba(255, 211, 109, 145);
constexpr int kMinFillWidth = 5;

// News cards.
constexpr QRgb kCardTop = rgba(9, 17, 24, 255);
constexpr QRgb kCardTopSelected = rgba(19, 29, 37, 255);
constexpr QRgb kCardBottom = rgba(5, 11, 16, 255);
constexpr QRgb kCardOutline = rgba(54, 63, 72, 190);
constexpr QRgb kCardOutlineSelected = hex(0xc18b3d);
constexpr QRgb kCardImageShade = rgba(0, 0, 0, 105);
constexpr QRgb kCardCategory = hex(0x49bce8);
constexpr QRgb kCardDate = hex(0x8d949d);
constexpr QRgb kCardTitleShadow = rgba(0, 0, 0, 185);
constexpr QRgb kCardTitle = hex(0xe6dfd2);
constexpr QRgb kCardDescription = hex(0x9da4ad);
constexpr QRgb kCardDetailsSelected = hex(0xefb75a);
constexpr QRgb kCardDetails = hex(0xb78a49);

// Backdrop.
constexpr QRgb kBackdropEmpty = hex(0x060a0e);
constexpr QRgb kBackdropShadeLeft = rgba(2, 6, 9, 80);
constexpr QRgb kBackdropShadeMiddle = rgba(2, 6, 9, 36);
constexpr QRgb kBackdropShadeRight = rgba(2, 6, 9, 12);
constexpr QRgb kBackdropFrame = hex(0x6b5128);

// News slider arrows.
constexpr QRgb kSliderGlowCore = rgba(195, 137, 54, 72);
constexpr QRgb kSliderGlowMiddle = rgba(126, 84, 31, 28);
constexpr QRgb kSliderGlowEdge = rgba(90, 55, 18, 0);
constexpr QRgb kSliderHover = hex(0xf0bb60);
constexpr QRgb kSlider = hex(0xaeb4ba);

// Game utility buttons.
constexpr QRgb kUtilityPressedOverlay = rgba(20, 9, 0, 42);
constexpr QRgb kUtilityDisabledVeil = rgba(3, 6, 8, 105);
constexpr QRgb kUtilityGlyphDisabled = hex(0x625e55);
constexpr QRgb kUtilityGlyphHover = hex(0xffe39a);
constexpr QRgb kUtilityGlyph = hex(0xc7b88f);
constexpr QRgb kGlyphArcShadow = rgba(25, 17, 9, 190);
constexpr QRgb kGlyphArrowOutline = rgba(49, 34, 17, 195);
constexpr QRgb kGlyphBarShadow = rgba(38, 26, 13, 205);
constexpr QRgb kGlyphBarOutline = rgba(255, 235, 178, 105);
constexpr QRgb kGlyphPlayOutline = rgba(255, 235, 178, 110);
constexpr QRgb kGearOutline = rgba(49, 34, 17, 205);
constexpr QRgb kGearHub = hex(0x11110f);
constexpr QRgb kGearHubOutline = rgba(64, 46, 24, 205);
constexpr QRgb kGearHighlight = rgba(255, 236, 183, 95);

// Artwork navigation buttons.
constexpr QRgb kArtworkEmpty = hex(0x0b1219);
constexpr QRgb kArtworkHoverWash = rgba(218, 165, 78, 16);
constexpr QRgb kArtworkFrameHover = hex(0xdda64e);
constexpr QRgb kArtworkFrame = rgba(139, 103, 49, 185);

// News cover.
constexpr QRgb kCoverEmpty = hex(0x080d12);
constexpr QRgb kCoverShade = rgba(4, 10, 15, 145);
constexpr QRgb kCoverLine = rgba(183, 135, 59, 120);

// Launch-profile buttons.
constexpr QRgb kProfileDot = hex(0x5e6469);
constexpr QRgb kProfileDotAccent = hex(0x8bd02a);
constexpr QRgb kProfileDotChecked = hex(0xd5a34d);
constexpr QRgb kProfileOutlineChecked = hex(0xc88e3b);
constexpr QRgb kProfileTitleChecked = hex(0xf5efe5);
constexpr QRgb kProfileTitle = hex(0xc4c7ca);
constexpr QRgb kProfileSubtitleChecked = hex(0xaeb3b8);
constexpr QRgb kProfileSubtitle = hex(0x7c8389);
constexpr QRgb kProfileTick = hex(0xe2b55f);

// Language button.
constexpr QRgb kLanguageTopHover = rgba(42, 34, 23, 245);
constexpr QRgb kLanguageTop = rgba(22, 28, 34, 238);
constexpr QRgb kLanguageBottom = rgba(10, 15, 20, 245);
constexpr QRgb kLanguageOutlineHover = hex(0xb47f31);
constexpr QRgb kLanguageOutline = hex(0x665431);
constexpr QRgb kLanguageText = hex(0xd8d5ce);
constexpr QRgb kLanguageChevron = hex(0xc79849);

// Social glyphs.
constexpr QRgb kDiscordBlue = hex(0x5865f2);
constexpr QRgb kTelegramBlue = hex(0x229ed9);

// Style sheets, applied verbatim.
extern const char kDialogStyleSheet[];
extern const char kToolTipLabelStyleSheet[];
extern const char kBadgeStyleSheet[];
extern const char kMessageTextStyleSheet[];
extern const char kMainWindowStyleSheet[];

} // namespace vorn::style
