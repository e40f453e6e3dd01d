#pragma once

#include "framework/WDL_String.h"

#include <atomic>
#include <string>

namespace iplug
{

/**
 * One host parameter: its range, step, shape and texts, and its current plain value. The value is an atomic double,
 * so the audio thread may read it while the host or the editor sets it on another thread. A NaN is never stored:
 * setting one stores the default instead; an infinity stands for the end of the range it points to.
 */
class IParam
{
public:
    enum EParamType
    {
        kTypeNone,
        kTypeBool,
        kTypeDouble
    };

    enum EParamUnit
    {
        kUnitCustom,
        kUnitFrequency
    };

    enum EFlags
    {
        kFlagsNone = 0,
        kFlagCannotAutomate = 1,
        kFlagStepped = 2 // Set rounds to a whole multiple of the step; switches always are
    };

    /** How the normalised 0..1 range spreads over the plain range. */
    struct Shape
    {
        enum class Kind
        {
            Linear,
            Exp
        };
        Kind kind = Kind::Linear;
    };
    struct ShapeLinear : Shape
    {
        ShapeLinear() : Shape{Kind::Linear} {}
    };
    /** Equal ratios take equal normalised distances; needs a positive minimum, else it acts linear. */
    struct ShapeExp : Shape
    {
        ShapeExp() : Shape{Kind::Exp} {}
    };

    IParam() = default;
    IParam(const IParam&) = delete;
    IParam& operator=(const IParam&) = delete;

    // Initialisers; main thread, before the host sees the parameter. Names and texts are copied.
    void InitDouble(const char* name, double defaultValue, double minimum, double maximum, double step,
                    const char* label = "", int flags = 0, const char* group = "", const Shape& shape = ShapeLinear(),
                    EParamUnit unit = kUnitCustom);
    /** Label "Hz", exponential shape, frequency unit. */
    void InitFrequency(const char* name, double defaultValue, double minimum, double maximum, double step,
                       int flags = 0, const char* group = "");
    /** Range 0..1, step 1, shown as `offText` at 0 and `onText` at 1. */
    void InitBool(const char* name, bool defaultValue, const char* label = "", int flags = 0, const char* group = "",
                  const char* offText = "off", const char* onText = "on");

    // Value; any thread.
    double Value() const { return value.load(std::memory_order_relaxed); }
    double GetNormalized() const { return ToNormalized(Value()); }
    /** Rounds to the step when stepped, clamps to the range (infinities included), stores; NaN stores the default. */
    void Set(double plainValue);
    /** The plain value of `normalized`, constrained as by Set. Setting the normalised value that the current
     *  value already has leaves the value unchanged, bit for bit. */
    void SetNormalized(double normalized);
    void SetToDefault() { Set(defaultValue); }

    // Mapping; any thread. Both give the range's ends exactly at 0 and 1.
    double ToNormalized(double plainValue) const;
    double FromNormalized(double normalized) const;
    /** Rounding (when stepped) and clamping as Set does, without storing; NaN gives the default. */
    double Constrain(double plainValue) const;

    // Description.
    const char* GetName() const { return name.c_str(); }
    const char* GetLabel() const { return label.c_str(); }
    double GetDefault(bool normalized = false) const { return normalized ? ToNormalized(defaultValue) : defaultValue; }
    double GetMin() const { return minimum; }
    double GetMax() const { return maximum; }
    double GetStep() const { return step; }
    bool GetCanAutomate() const { return (flags & kFlagCannotAutomate) == 0; }
    bool GetStepped() const { return (flags & kFlagStepped) != 0; }
    EParamType Type() const { return type; }
    EParamUnit Unit() const { return unit; }
    Shape::Kind GetShape() const { return shape; }

    /** The text shown for the current value (no label): a switch's off/on text, else the value with as many
     *  decimals as the step needs. */
    void GetDisplay(WDL_String& display) const { GetDisplay(Value(), false, display); }
    void GetDisplay(double value, bool normalized, WDL_String& display) const;

private:
    void store(double plainValue) { value.store(plainValue, std::memory_order_relaxed); }

    std::atomic<double> value{0.0};
    std::string name;
    std::string label;
    std::string offText;
    std::string onText;
    double defaultValue = 0.0;
    double minimum = 0.0;
    double maximum = 1.0;
    double step = 1.0;
    int flags = 0;
    EParamType type = kTypeNone;
    EParamUnit unit = kUnitCustom;
    Shape::Kind shape = Shape::Kind::Linear;
};

} // namespace iplug
