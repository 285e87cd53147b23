#include "metersettings.h"

#include "numberformat.h"

#include <array>

namespace dmmsim {

namespace {

template <typename Enum, std::size_t N>
std::string_view nameIn(const std::array<std::string_view, N> &names, Enum value)
{
    return names.at(static_cast<std::size_t>(value));
}

template <typename Enum, std::size_t N>
std::optional<Enum> valueIn(const std::array<std::string_view, N> &names, std::string_view name)
{
    const std::string upper = upperCase(name);
    for (std::size_t i = 0; i < N; ++i) {
        if (names[i] == upper)
            return static_cast<Enum>(i);
    }
    return std::nullopt;
}

constexpr std::array<std::string_view, 3> rateNames{"FAST", "MED", "SLOW"};
constexpr std::array<std::string_view, 3> triggerNames{"IMM", "MAN", "BUS"};
constexpr std::array<std::string_view, 4> compareNames{"OFF", "HI", "IN", "LO"};

} // namespace

std::string_view rateName(Rate rate)
{
    return nameIn(rateNames, rate);
}

std::optional<Rate> rateNamed(std::string_view name)
{
    return valueIn<Rate>(rateNames, name);
}

std::chrono::milliseconds refreshPeriod(Rate rate)
{
    switch (rate) {
    case Rate::Fast:
        return std::chrono::milliseconds(50);
    case Rate::Med:
        return std::chrono::milliseconds(200);
    case Rate::Slow:
        return std::chrono::milliseconds(1000);
    }
    return std::chrono::milliseconds(50);
}

double noiseFactor(Rate rate)
{
    switch (rate) {
    case Rate::Fast:
        return 1.0;
    case Rate::Med:
        return 0.5;
    case Rate::Slow:
        return 0.25;
    }
    return 1.0;
}

std::string_view triggerSourceName(TriggerSource source)
{
    return nameIn(triggerNames, source);
}

std::optional<TriggerSource> triggerSourceNamed(std::string_view name)
{
    return valueIn<TriggerSource>(triggerNames, name);
}

std::string_view compareResultName(CompareResult result)
{
    return nameIn(compareNames, result);
}

} // namespace dmmsim
