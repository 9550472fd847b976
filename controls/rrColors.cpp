#include "controls/rrColors.h"

#include <algorithm>
#include <cmath>
#include <string>

namespace controls {
namespace {

constexpr double Epsilon = 1e-8;

// The signed corner colours, one per sixth of the hue circle: red, yellow, green, cyan, blue,
// magenta.
constexpr int Corners[6][3] = {
    {1, -1, -1}, {1, 1, -1}, {-1, 1, -1}, {-1, 1, 1}, {-1, -1, 1}, {1, -1, 1},
};

constexpr const char *HLSNames[3] = {"Hue", "Luminance", "Saturation"};
constexpr const char *RGBNames[3] = {"Red", "Green", "Blue"};

// Stops at the first component outside 0..1; NaN fails the test too.
void CheckRange(const char *function, const char *const (&names)[3], const ColorTriple &values) {
    for (int i = 0; i < 3; ++i) {
        if (!(values[i] >= 0 && values[i] <= 1))
            throw EColorConv(std::string(function) + ": 0 <= " + names[i] + " value <= 1 required");
    }
}

double Clamp01(double value) {
    return std::clamp(value, 0.0, 1.0);
}

ColorTriple Clamped(const ColorTriple &values) {
    return {Clamp01(values[0]), Clamp01(values[1]), Clamp01(values[2])};
}

// The pairs of channels tried in turn where a formula needs two channels that differ.
constexpr int Pairs[3][2] = {{0, 1}, {1, 2}, {0, 2}};

// k is the channel sitting at -1 after normalisation; the other two say where between two
// corners the hue lies.
double HueOf(const ColorTriple &n, int k) {
    double h = 0;
    switch (k) {
    case 0:
        h = n[1] > n[2] ? (n[2] + 1) / 2 + 2 : 4 - (n[1] + 1) / 2;
        break;
    case 1:
        h = n[2] > n[0] ? (n[0] + 1) / 2 + 4 : 6 - (n[2] + 1) / 2;
        break;
    default:
        h = n[0] > n[1] ? (n[1] + 1) / 2 : 2 - (n[0] + 1) / 2;
        break;
    }
    return h / 6;
}

ColorTriple LightBranch(const ColorTriple &a, ColorTriple n, int k, double red) {
    double d = 0;
    for (double v : n)
        d = std::max(d, 1 - v);
    if (d < Epsilon)
        return {0, red, 0};
    for (double &v : n)
        v = (v - 1) * (2 / d) + 1;
    double smallest = 1;
    for (int i = 0; i < 3; ++i) {
        if (n[i] < smallest) {
            smallest = n[i];
            k = i;
        }
    }
    const double hue = HueOf(n, k);

    double saturation = 0;
    for (const auto &[i, j] : Pairs) {
        if (std::fabs(a[j] - a[i]) > Epsilon) {
            saturation = (a[j] - a[i]) / ((a[j] - 1) * n[i] - (a[i] - 1) * n[j]);
            break;
        }
    }
    double c = a[0] - 1;
    for (const auto &[i, j] : Pairs) {
        if (std::fabs(n[j] - n[i]) > Epsilon) {
            c = ((a[i] - 1) * n[j] - (a[j] - 1) * n[i]) / (n[j] - n[i]);
            break;
        }
    }
    return Clamped({hue, c / 2 + 1, saturation});
}

ColorTriple DarkBranch(const ColorTriple &a, ColorTriple n, int k, double red) {
    double d = 0;
    for (double v : n)
        d = std::max(d, v + 1);
    if (d < Epsilon)
        return {0, red, 0};
    for (double &v : n)
        v = (v + 1) * (2 / d) - 1;
    const double hue = HueOf(n, k);

    double saturation = 0;
    for (const auto &[i, j] : Pairs) {
        if (std::fabs(a[j] - a[i]) > Epsilon) {
            saturation = (a[j] - a[i]) / ((a[i] + 1) * n[j] - (a[j] + 1) * n[i]);
            break;
        }
    }
    double c = a[0] + 1;
    for (const auto &[i, j] : Pairs) {
        if (std::fabs(n[j] - n[i]) > Epsilon) {
            c = ((a[i] + 1) * n[j] - (a[j] + 1) * n[i]) / (n[j] - n[i]);
            break;
        }
    }
    return Clamped({hue, c / 2, saturation});
}

// Nearest integer, halves to the even neighbour.
long RoundHalfEven(double value) {
    return std::lrint(value);
}

std::uint8_t ToChannel(long value) {
    return static_cast<std::uint8_t>(std::clamp(value, 0L, 255L));
}

SystemColorTable installedTable = nullptr;

} // namespace

ColorTriple HLS2RGB(double hue, double luminance, double saturation) {
    CheckRange("HLS2RGB", HLSNames, {hue, luminance, saturation});
    const double x = 6 * hue;
    const double whole = std::floor(x);
    const int k = static_cast<int>(whole) % 6;
    const int k2 = (k + 1) % 6;
    const double f = x - whole;

    ColorTriple rgb{};
    for (int i = 0; i < 3; ++i) {
        const double t = (Corners[k][i] + f * (Corners[k2][i] - Corners[k][i])) * saturation;
        rgb[i] = luminance > 0.5 ? luminance + (1 - luminance) * t : luminance * (t + 1);
    }
    return Clamped(rgb);
}

ColorTriple RGB2HLS(double red, double green, double blue) {
    const ColorTriple rgb{red, green, blue};
    CheckRange("RGB2HLS", RGBNames, rgb);

    ColorTriple a{};
    for (int i = 0; i < 3; ++i)
        a[i] = 2 * rgb[i] - 1;
    double m = 0;
    int k = 0;
    for (int i = 0; i < 3; ++i) {
        if (std::fabs(a[i]) > m) {
            m = std::fabs(a[i]);
            k = i;
        }
    }
    if (m < Epsilon)
        return {0, 0.5, 0};

    ColorTriple n{};
    for (int i = 0; i < 3; ++i)
        n[i] = a[i] / m;
    if (a[k] > 0)
        return LightBranch(a, n, k, red);
    return DarkBranch(a, n, k, red);
}

SystemColorTable SetSystemColorTable(SystemColorTable table) {
    return std::exchange(installedTable, table);
}

TColor DefaultSystemColor(SystemColor entry) {
    switch (entry) {
    case SystemColor::BtnFace:
        return TColor::FromRGB(212, 208, 200);
    case SystemColor::GrayText:
        return TColor::FromRGB(128, 128, 128);
    case SystemColor::WindowText:
        return clBlack;
    case SystemColor::Window:
        return clWhite;
    }
    return clBlack;
}

TColor ColorToRGB(TColor color) {
    if (!color.IsSystem())
        return color;
    const TColor resolved =
        installedTable ? installedTable(color.System()) : DefaultSystemColor(color.System());
    // A table that answers with another system colour would loop; take the default instead.
    return resolved.IsSystem() ? DefaultSystemColor(color.System()) : resolved;
}

std::pair<TColor, TColor> ShadeColors(TColor color, float lightFactor, float darkFactor) {
    const TColor rgb = ColorToRGB(color);
    const int channels[3] = {rgb.Red(), rgb.Green(), rgb.Blue()};

    std::uint8_t light[3];
    for (int i = 0; i < 3; ++i)
        light[i] = ToChannel(255 - RoundHalfEven(double(lightFactor) * (256 - channels[i])));

    ColorTriple hls = RGB2HLS(channels[0] / 255.0, channels[1] / 255.0, channels[2] / 255.0);
    hls[1] *= double(darkFactor);
    const ColorTriple shaded = HLS2RGB(hls);
    std::uint8_t dark[3];
    for (int i = 0; i < 3; ++i)
        dark[i] = ToChannel(RoundHalfEven(255 * shaded[i]));

    return {TColor::FromRGB(light[0], light[1], light[2]),
            TColor::FromRGB(dark[0], dark[1], dark[2])};
}

} // namespace controls
