#include "framework/IParam.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace iplug
{

void IParam::InitDouble(const char* name, double defaultValue, double minimum, double maximum, double step,
                        const char* label, int flags, const char* /*group*/, const Shape& shape, EParamUnit unit)
{
    this->name = name ? name : "";
    this->label = label ? label : "";
    this->minimum = std::min(minimum, maximum);
    this->maximum = std::max(minimum, maximum);
    this->step = step > 0.0 && std::isfinite(step) ? step : 0.0;
    this->flags = flags;
    this->shape = shape.kind == Shape::Kind::Exp && this->minimum > 0.0 ? Shape::Kind::Exp : Shape::Kind::Linear;
    this->unit = unit;
    if (type == kTypeNone)
        type = kTypeDouble;
    // the default is kept as given (not rounded to the step), so the plug-in's defaults hold exactly
    this->defaultValue =
        std::isfinite(defaultValue) ? std::clamp(defaultValue, this->minimum, this->maximum) : this->minimum;
    store(this->defaultValue);
}

void IParam::InitFrequency(const char* name, double defaultValue, double minimum, double maximum, double step,
                           int flags, const char* group)
{
    InitDouble(name, defaultValue, minimum, maximum, step, "Hz", flags, group, ShapeExp(), kUnitFrequency);
}

void IParam::InitBool(const char* name, bool defaultValue, const char* label, int flags, const char* group,
                      const char* offText, const char* onText)
{
    type = kTypeBool;
    this->offText = offText ? offText : "";
    this->onText = onText ? onText : "";
    InitDouble(name, defaultValue ? 1.0 : 0.0, 0.0, 1.0, 1.0, label, flags | kFlagStepped, group);
}

double IParam::Constrain(double plainValue) const
{
    if (std::isnan(plainValue))
        return defaultValue;
    if (std::isinf(plainValue))
        return plainValue > 0.0 ? maximum : minimum;
    double v = plainValue;
    if (GetStepped() && step > 0.0)
        v = std::round(v / step) * step; // std::round: halves away from zero
    return std::clamp(v, minimum, maximum);
}

void IParam::Set(double plainValue)
{
    store(Constrain(plainValue));
}

void IParam::SetNormalized(double normalized)
{
    if (std::isnan(normalized))
    {
        store(defaultValue);
        return;
    }
    // the mapping is not exactly invertible in floating point: a value that already maps to `normalized` stays
    // as it is, so reading and writing back the normalised value never moves a parameter
    if (ToNormalized(Value()) == normalized)
        return;
    store(Constrain(FromNormalized(normalized)));
}

double IParam::ToNormalized(double plainValue) const
{
    if (std::isnan(plainValue) || maximum <= minimum)
        return 0.0;
    const double v = std::clamp(plainValue, minimum, maximum);
    if (v == minimum)
        return 0.0;
    if (v == maximum)
        return 1.0;
    const double n = shape == Shape::Kind::Exp ? std::log(v / minimum) / std::log(maximum / minimum)
                                               : (v - minimum) / (maximum - minimum);
    return std::clamp(n, 0.0, 1.0);
}

double IParam::FromNormalized(double normalized) const
{
    if (std::isnan(normalized))
        return defaultValue;
    const double n = std::clamp(normalized, 0.0, 1.0);
    if (n == 0.0)
        return minimum;
    if (n == 1.0)
        return maximum;
    const double v = shape == Shape::Kind::Exp ? minimum * std::exp(n * std::log(maximum / minimum))
                                               : minimum + n * (maximum - minimum);
    return std::clamp(v, minimum, maximum);
}

void IParam::GetDisplay(double value, bool normalized, WDL_String& display) const
{
    const double plain = normalized ? FromNormalized(value) : value;
    if (type == kTypeBool)
    {
        display.Set(plain >= 0.5 ? onText.c_str() : offText.c_str());
        return;
    }
    int decimals = 0;
    if (step > 0.0 && step < 1.0)
        decimals = std::clamp(static_cast<int>(std::ceil(-std::log10(step) - 1e-9)), 0, 6);
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", decimals, plain);
    display.Set(text);
}

} // namespace iplug
