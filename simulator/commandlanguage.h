#pragma once

#include "metermodel.h"
#include "storedrecord.h"

#include <optional>
#include <string>
#include <string_view>

namespace dmmsim {

// The meter's command language: carries out one command line on the model
// and the memory and gives the answer text (without its line feed). Like
// the instrument, it answers nothing to a query it does not know and
// ignores a set command it does not know or whose parameters are wrong.
class CommandLanguage
{
public:
    CommandLanguage(MeterModel &model, ReadingMemory &memory);

    std::optional<std::string> execute(std::string_view line, MeterModel::Clock::time_point now);

private:
    MeterModel &model;
    ReadingMemory &memory;
};

} // namespace dmmsim
