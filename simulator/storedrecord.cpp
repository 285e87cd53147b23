#include "storedrecord.h"

#include "numberformat.h"

namespace dmmsim {

namespace {

constexpr int storedDigits = 5;

std::string fieldText(const StoredField &field)
{
    return formatScientific(field.value, storedDigits) + field.unit;
}

std::string optionalFieldText(const std::optional<StoredField> &field)
{
    return field ? fieldText(*field) : std::string("0");
}

} // namespace

std::string formatStoredRecord(const StoredRecord &record)
{
    return std::to_string(record.flags) + ',' + fieldText(record.line1) + ',' + fieldText(record.line2) + ','
           + optionalFieldText(record.maximum) + ',' + optionalFieldText(record.minimum);
}

bool ReadingMemory::store(StoredRecord record)
{
    if (count() >= Capacity)
        return false;
    records.push_back(std::move(record));
    return true;
}

bool ReadingMemory::remove(int number)
{
    if (!record(number))
        return false;
    records.erase(records.begin() + (number - 1));
    return true;
}

void ReadingMemory::clear()
{
    records.clear();
}

int ReadingMemory::count() const
{
    return static_cast<int>(records.size());
}

const StoredRecord *ReadingMemory::record(int number) const
{
    if (number < 1 || number > count())
        return nullptr;
    return &records[static_cast<std::size_t>(number - 1)];
}

} // namespace dmmsim
