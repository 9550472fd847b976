#pragma once

#include "base/Exception.h"

#include <array>
#include <cstdint>
#include <utility>

// A colour model of hue, luminance and saturation in which hue walks along six fixed corner
// colours, saturation scales a signed colour vector and luminance blends it towards black or
// white. HLS2RGB and RGB2HLS are exact inverses of each other up to rounding.
namespace controls {

// A component out of the range 0 to 1.
class EColorConv : public base::Exception {
public:
    using Exception::Exception;
};

// Three components in 0..1: red, green, blue or hue, luminance, saturation.
using ColorTriple = std::array<double, 3>;

ColorTriple HLS2RGB(double hue, double luminance, double saturation);
ColorTriple RGB2HLS(double red, double green, double blue);
inline ColorTriple HLS2RGB(const ColorTriple &hls) {
    return HLS2RGB(hls[0], hls[1], hls[2]);
}
inline ColorTriple RGB2HLS(const ColorTriple &rgb) {
    return RGB2HLS(rgb[0], rgb[1], rgb[2]);
}

// The entries of the window system's colour table that the controls use.
enum class SystemColor : std::uint8_t { BtnFace, GrayText, WindowText, Window };

// A window-system colour: an RGB value with 8-bit channels, or a system colour that stands for
// the current RGB value of that entry of the colour table.
class TColor {
public:
    constexpr TColor() = default;
    static constexpr TColor FromRGB(std::uint8_t red, std::uint8_t green, std::uint8_t blue) {
        return TColor(red, green, blue);
    }
    static constexpr TColor FromSystem(SystemColor entry) { return TColor(entry); }

    constexpr bool IsSystem() const { return isSystem_; }
    constexpr SystemColor System() const { return system_; }
    constexpr std::uint8_t Red() const { return red_; }
    constexpr std::uint8_t Green() const { return green_; }
    constexpr std::uint8_t Blue() const { return blue_; }

    friend constexpr bool operator==(const TColor &, const TColor &) = default;

private:
    constexpr TColor(std::uint8_t red, std::uint8_t green, std::uint8_t blue)
        : red_(red), green_(green), blue_(blue) {}
    constexpr explicit TColor(SystemColor entry) : isSystem_(true), system_(entry) {}

    bool isSystem_ = false;
    SystemColor system_ = SystemColor::BtnFace;
    std::uint8_t red_ = 0;
    std::uint8_t green_ = 0;
    std::uint8_t blue_ = 0;
};

inline constexpr TColor clBlack = TColor::FromRGB(0, 0, 0);
inline constexpr TColor clWhite = TColor::FromRGB(255, 255, 255);
inline constexpr TColor clBlue = TColor::FromRGB(0, 0, 255);
inline constexpr TColor clBtnFace = TColor::FromSystem(SystemColor::BtnFace);
inline constexpr TColor clGrayText = TColor::FromSystem(SystemColor::GrayText);
inline constexpr TColor clWindowText = TColor::FromSystem(SystemColor::WindowText);
inline constexpr TColor clWindow = TColor::FromSystem(SystemColor::Window);

// Answers the current RGB value of a system colour. The window layer installs one that reads
// the desktop's palette; until then the classic defaults apply.
using SystemColorTable = TColor (*)(SystemColor entry);
// Installs table (nullptr restores the defaults) and returns the one it replaces.
SystemColorTable SetSystemColorTable(SystemColorTable table);
TColor DefaultSystemColor(SystemColor entry);

// The RGB value a colour stands for now.
TColor ColorToRGB(TColor color);

// The light and the dark variant of a colour. The factors are single precision on purpose: the
// dark variant depends on the float nearest the factor, not on the decimal value.
std::pair<TColor, TColor> ShadeColors(TColor color, float lightFactor, float darkFactor);

} // namespace controls
