#include "LanguageInfo.h"

const std::map<std::string, LanguageInfoItem, std::less<>> LanguageInfo = {
    {"", {"english"}},
    {"simchinese", {"chinese(simplified)"}},
    {"tradchinese", {"chinese(traditional)"}},
};
