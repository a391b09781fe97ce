#include "known_params.h"

#include <array>
#include <utility>

const char* KnownParamType(std::string_view name)
{
    static constexpr std::array<std::pair<std::string_view, const char*>, 21> kKnown = {{
        {"DEFAULT_ORDER", "UIntArray"}, {"PRIMARY_KEY", "UIntArray"}, {"UNIQUE_KEY", "UIntArray"},
        {"CHANGE_LOG", "UIntArray"},    {"AUTOINCVALUE", "i4"},       {"LCID", "i2"},
        {"SUBTYPE", "string"},          {"DECIMALS", "i2"},           {"WIDTH", "i2"},
        {"CALCULATED", "boolean"},      {"READONLY", "boolean"},      {"SERVER_COL", "string"},
        {"DATASET_DELTA", "boolean"},   {"DELTA", "boolean"},         {"TABLENAME", "string"},
        {"TYPENAME", "string"},         {"UPDATEMODE", "i2"},         {"MD_SEMANTICS", "UIntArray"},
        {"MINVALUE", "string"},         {"MAXVALUE", "string"},       {"DEFVALUE", "string"},
    }};
    for (const auto& [known, type] : kKnown)
        if (known == name)
            return type;
    return nullptr;
}
