// Configuration items: the station's named settings (file paths, the results data source, ProgIDs of outside
// components), kept as strings under "Software\Vornic\Config\" of HKEY_LOCAL_MACHINE.
//
// Constructing an instance writes the built-in default of every item that is missing, so after the first use
// all items exist and can be edited in the registry. An item that exists is never replaced, not even one too
// long to be read into the 1000-byte buffer of FindItem.
//
// Text: names and values are UTF-8 on the 8-bit side; values are stored as REG_SZ (UTF-16 with terminator)
// and read without checking the registry type. No method throws on a registry failure: failures are traced
// (Trace.h) and reported by the result.
//
// Threads: after construction the object only reads its two key handles, so its methods may be called from
// several threads at once (the registry serialises the reads and writes, in this process and across
// processes). Destruction must not overlap a call.
#pragma once

#include "platform/com/bstr.h"
#include "platform/registry/registry.h"

#include <cstddef>
#include <string>
#include <string_view>

class CVrConfigData {
public:
    // The size of FindItem's buffer in bytes; at most ITEM_BUFFER_SIZE - 1 are filled, terminator included,
    // so the longest value it reads has 998 bytes of UTF-8.
    static constexpr size_t ITEM_BUFFER_SIZE = 1000;
    static constexpr size_t ITEM_MAX_BYTES = ITEM_BUFFER_SIZE - 2;

    // Creates or opens the key under HKEY_CURRENT_USER, then under HKEY_LOCAL_MACHINE (a key that cannot be
    // had is traced as an internal error and stays closed), then stores the default of each missing item in
    // the order of the item table.
    CVrConfigData();
    // Closes the local-machine key, then the current-user key.
    virtual ~CVrConfigData();
    CVrConfigData(const CVrConfigData&) = delete;
    CVrConfigData& operator=(const CVrConfigData&) = delete;

    // Reads the item's value as UTF-8 into buffer (ITEM_BUFFER_SIZE bytes), terminated, and returns true.
    // A missing item, a closed key, or a value longer than ITEM_MAX_BYTES returns false with an empty
    // buffer (a too-long value is never cut); unless quiet, the failure is first traced as
    // "Couldn't find ConfigData Item '<name>' in the Registry.".
    bool FindItem(const char* name, char* buffer, bool quiet) const;

    // Reads the item's value whole, whatever its length, into *value: the earlier BSTR there (null or owned
    // by the caller) is freed and replaced. Fails and traces as FindItem does when the item is missing, the
    // key closed or the read fails, leaving *value unchanged; a null value pointer fails without a trace.
    bool GetItem(const char* name, BSTR* value, bool quiet) const;

    // Stores the value (up to its first zero character; null is the empty text) as REG_SZ under the
    // local-machine key. The value is borrowed: the caller keeps and frees it. On failure (closed key,
    // failed write) traces "Couldn't store ConfigData Item '<name>' into the Registry." and returns false.
    bool StoreItem(const char* name, BSTR value);

private:
    // Reads the item's text up to its first zero character: ERROR_SUCCESS, ERROR_FILE_NOT_FOUND for a
    // missing item, ERROR_INVALID_HANDLE for a closed key, or another registry error.
    LONG QueryItem(const char* name, std::u16string& text) const;
    void TraceNotFound(const char* name) const;
    bool StoreText(const char* name, std::u16string_view value);
    void StoreMissingDefaults();

    HKEY m_hKeyCurrentUser = nullptr;
    HKEY m_hKeyLocalMachine = nullptr;
};
