// The value store of the compose/parse library: named parameter values to compose from, to expect and
// returned.
#include "instruments/Xlatrix/Xlatrix.h"
#include "instruments/Xlatrix/XlatrixGuard.h"
#include "instruments/Xlatrix/XlatrixInternal.h"
#include "instruments/Xlatrix/XlatrixValueInfo.h"
#include "instruments/Xlatrix/XlatrixWalk.h"

#include <algorithm>

namespace {

// Path lookups stay cheap for messages with many elements.
constexpr size_t kMapBuckets = 1027;

CXlatrix::ParamValue* FindEntry(CXlatrix::ParamValueArray& array, const std::string& name) {
    auto found =
        std::find_if(array.begin(), array.end(), [&](const auto& entry) { return entry.strName == name; });
    return found != array.end() ? &*found : nullptr;
}

} // namespace

std::atomic<bool> CXlatrix::bClassFlag = false;

CXlatrix::CXlatrix(bool flag) : mapMatches(kMapBuckets) {
    bClassFlag = flag;
}

CXlatrix::~CXlatrix() = default;

bool CXlatrix::SetParamValue(ParamValueArray& array, SOMITEMTYPE type, const char* typeName, const char* name,
                             const char* value, int index) {
    std::string text = xlatrix::Narrow(value);
    NormalizeParamValue(SOMITEM_DATATYPE_STRING, text);
    std::string key = xlatrix::Narrow(name);
    ParamValue* entry = FindEntry(array, key);
    if (entry == nullptr) {
        entry = &array.emplace_back();
        entry->strName = key;
    }
    entry->strTypeName = xlatrix::Narrow(typeName);
    entry->type = type;
    if (index < 0) {
        entry->arrValues.push_back(std::move(text));
    } else {
        if (static_cast<size_t>(index) >= entry->arrValues.size()) {
            entry->arrValues.resize(static_cast<size_t>(index) + 1);
        }
        entry->arrValues[index] = std::move(text);
    }
    return true;
}

bool CXlatrix::AddComposeEntryParamValue(SOMITEMTYPE type, const char* typeName, const char* name,
                                         const char* value, int index) {
    return Guarded(
        [&] { return SetParamValue(arrComposeEntryParamValues, type, typeName, name, value, index); });
}

bool CXlatrix::AddParseEntryParamValue(SOMITEMTYPE type, const char* typeName, const char* name,
                                       const char* value, int index) {
    return Guarded(
        [&] { return SetParamValue(arrParseEntryParamValues, type, typeName, name, value, index); });
}

void CXlatrix::RemoveAllComposeEntryParamValues() {
    arrComposeEntryParamValues.clear();
}

void CXlatrix::RemoveAllParseEntryParamValues() {
    arrParseEntryParamValues.clear();
}

bool CXlatrix::GetParamValue(ParamValueArray& array, std::string& name, SOMITEMTYPE* type,
                             std::string* typeName, std::string* value, int nIdIndex, bool bRemove,
                             bool bQuiet) {
    return Guarded([&] {
        auto entry = name.empty() ? array.begin()
                                  : std::find_if(array.begin(), array.end(), [&](const auto& candidate) {
                                        return candidate.strName == name;
                                    });
        if (entry == array.end()) {
            if (!bQuiet) {
                DumpError("CXlatrix::GetParamValue(): There is no '%s' element.\n", name.c_str());
            }
            return false;
        }
        int count = static_cast<int>(entry->arrValues.size());
        if (nIdIndex < 0 || nIdIndex >= count) {
            if (!bQuiet) {
                DumpError(
                    "CXlatrix::GetParamValue(): There is no value with nIdIndex='%d' in the arrValues; valid "
                    "range [0..%d].\n",
                    nIdIndex, count - 1);
            }
            return false;
        }
        if (typeName != nullptr) {
            *typeName = entry->strTypeName;
        }
        if (type != nullptr) {
            *type = entry->type;
        }
        if (value != nullptr) {
            if (bRemove) {
                value->swap(entry->arrValues[nIdIndex]); // the value goes anyway
            } else {
                *value = entry->arrValues[nIdIndex];
            }
        }
        if (name.empty()) {
            name = entry->strName;
        }
        if (bRemove) {
            entry->arrValues.erase(entry->arrValues.begin() + nIdIndex);
            if (entry->arrValues.empty()) {
                array.erase(entry);
            }
        }
        return true;
    });
}

bool CXlatrix::GetReturnedParamValue(std::string& name, SOMITEMTYPE* type, std::string* typeName,
                                     std::string* value, int nIdIndex, bool bRemove) {
    return GetParamValue(arrReturnedParamValues, name, type, typeName, value, nIdIndex, bRemove, false);
}

int CXlatrix::GetNumberOfParamValues(const ParamValueArray& array, const char* name) {
    std::string key = xlatrix::Narrow(name);
    int count = 0;
    for (const ParamValue& entry : array) {
        if (key.empty() || entry.strName == key) {
            count += static_cast<int>(entry.arrValues.size());
        }
    }
    return count;
}

int CXlatrix::GetNumberOfReturnedParamValues(const char* name) {
    return GetNumberOfParamValues(arrReturnedParamValues, name);
}

int CXlatrix::GetNumberOfElements(const char* name) {
    if (!walk) {
        return 0;
    }
    auto found = walk->nameIds.find(std::string_view(name != nullptr ? name : ""));
    if (found == walk->nameIds.end() || static_cast<size_t>(found->second) >= walk->valueIndex.size()) {
        return 0;
    }
    return walk->valueIndex[static_cast<size_t>(found->second)] + 1;
}

bool CXlatrix::FindMatchRecord(const char* name, int index, MatchRecord* record) const {
    std::string key = xlatrix::Narrow(name);
    for (const auto& [path, match] : GetMatchRecords()) {
        if (match.strName == key && match.nIndex == index) {
            if (record != nullptr) {
                *record = match;
            }
            return true;
        }
    }
    return false;
}

void CXlatrix::DumpArrayParamValuesTrace(const ParamValueArray& array) {
    Guarded([&] {
        std::string text = "### Trace ArrayParamValues ###\n";
        for (const ParamValue& entry : array) {
            text.append("(").append(xlatrix::ItemTypeName(entry.type)).append("-").append(entry.strTypeName);
            text.append(")'").append(entry.strName).append("': ");
            for (const std::string& value : entry.arrValues) {
                text.append("'").append(value).append("'; ");
            }
            text += "\n";
        }
        strTraceText = std::move(text);
        return true;
    });
}
