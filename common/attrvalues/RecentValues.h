// The values a user entered recently into one editor field: an option string of bare names, oldest first,
// kept per user in the registry. Window thread only.
#pragma once

#include <string>
#include <vector>

class RecentValues {
public:
    // max 0 keeps nothing and never touches the registry.
    explicit RecentValues(int max) : max_(max) {}

    // Reads the REG_SZ value varName under HKEY_CURRENT_USER\rootKey (creating the key); a key that cannot be
    // opened leaves the list empty and unsaved. A missing value gives an empty list.
    void Load(const std::string& rootKey, const std::string& varName);
    // Writes the list back (REG_SZ) when it was loaded from an open key.
    void Save() const;

    // Moves text to the newest place: keeps the newest max - 1 items, drops text among them, appends text.
    void Add(const std::string& text);
    // Oldest first.
    std::vector<std::string> Items() const;
    const std::u16string& Text() const { return text_; }
    int Max() const { return max_; }

private:
    int max_;
    std::u16string text_;
    std::u16string rootKey_;
    std::u16string varName_;
    bool loaded_ = false;
};
