// The benchmark's baseline: rows inserted by a prepared ODBC statement with bound text, no layer between.
// Free of the platform's types, as the ODBC headers define the same names differently.
#pragma once

#include <string>
#include <vector>

namespace vrbench {

class BareOdbcInserter {
public:
    BareOdbcInserter() = default;
    BareOdbcInserter(const BareOdbcInserter&) = delete;
    BareOdbcInserter& operator=(const BareOdbcInserter&) = delete;
    ~BareOdbcInserter();

    // Connects and prepares the INSERT of the twelve TestResults columns; false with the reason in *why.
    bool Open(const std::string& utf8ConnectionString, std::string* why);
    // Inserts one row of twelve texts; false when the driver refuses.
    bool Insert(const std::vector<std::u16string>& row);

private:
    void* environment_ = nullptr;
    void* connection_ = nullptr;
    void* statement_ = nullptr;
};

} // namespace vrbench
