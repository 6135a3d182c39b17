// Registration scripts: read into a tree of keys first, then written to or removed from the registry.
#include "platform/com/registration_script.h"

#include "platform/base/text.h"
#include "platform/registry/registry.h"

#include <optional>
#include <vector>

namespace vr::registration {
namespace {

// Keys nest no deeper than the registry keeps them; a script that nests deeper is refused before the
// reader's recursion could exhaust the stack.
constexpr int kMaxKeyDepth = 512;

// ---- The script's tree ----

enum class KeyKind { Plain, NoRemove, ForceRemove };

struct ScriptValue {
    std::u16string name;
    std::u16string text;
};

struct ScriptKey {
    std::u16string name;
    KeyKind kind = KeyKind::Plain;
    std::optional<std::u16string> defaultValue;
    std::vector<ScriptValue> values;
    std::vector<ScriptKey> subKeys;
};

struct ScriptRoot {
    HKEY root = nullptr;
    std::vector<ScriptKey> keys;
};

// Thrown while reading a script: what is wrong and on which line.
struct ScriptError {
    int line;
    std::u16string text;
};

// ---- Tokens ----

struct Token {
    std::u16string text; // unquoted, variables replaced
    bool quoted = false;
    int line = 0;
};

class Tokens {
public:
    Tokens(std::u16string_view script, std::span<const ScriptVariable> variables)
        : script_(script), variables_(variables) {}

    // The next token, or nullopt at the end of the script.
    std::optional<Token> Next() {
        SkipBlanks();
        if (position_ >= script_.size()) {
            return std::nullopt;
        }
        Token token;
        token.line = line_;
        std::u16string raw;
        if (script_[position_] == u'\'') {
            token.quoted = true;
            raw = ReadQuoted();
        } else {
            while (position_ < script_.size() && !IsBlank(script_[position_])) {
                raw += script_[position_++];
            }
        }
        token.text = ReplaceVariables(raw, token.line);
        return token;
    }

    int Line() const { return line_; }

private:
    static bool IsBlank(char16_t c) { return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n'; }

    void SkipBlanks() {
        while (position_ < script_.size() && IsBlank(script_[position_])) {
            if (script_[position_] == u'\n') {
                ++line_;
            }
            ++position_;
        }
    }

    // A quoted string from its opening apostrophe; '' inside stands for one apostrophe.
    std::u16string ReadQuoted() {
        int startLine = line_;
        ++position_; // the opening apostrophe
        std::u16string text;
        while (position_ < script_.size()) {
            char16_t c = script_[position_++];
            if (c == u'\'') {
                if (position_ < script_.size() && script_[position_] == u'\'') {
                    text += u'\'';
                    ++position_;
                    continue;
                }
                if (position_ < script_.size() && !IsBlank(script_[position_])) {
                    throw ScriptError{line_, u"a quoted string must be followed by white space"};
                }
                return text;
            }
            if (c == u'\n') {
                ++line_;
            }
            text += c;
        }
        throw ScriptError{startLine, u"a quoted string is not closed"};
    }

    std::u16string ReplaceVariables(const std::u16string& raw, int line) const {
        std::u16string text;
        for (size_t i = 0; i < raw.size(); ++i) {
            if (raw[i] != u'%') {
                text += raw[i];
                continue;
            }
            size_t end = raw.find(u'%', i + 1);
            if (end == std::u16string::npos) {
                throw ScriptError{line, u"a % without its closing % (write %% for a percent sign)"};
            }
            std::u16string_view name(raw.data() + i + 1, end - i - 1);
            text += name.empty() ? std::u16string(u"%") : std::u16string(ValueOf(name, line));
            i = end;
        }
        return text;
    }

    std::u16string_view ValueOf(std::u16string_view name, int line) const {
        for (const ScriptVariable& variable : variables_) {
            if (EqualsNoCase(variable.name, name)) {
                return variable.value;
            }
        }
        throw ScriptError{line, u"unknown variable %" + std::u16string(name) + u"%"};
    }

    std::u16string_view script_;
    std::span<const ScriptVariable> variables_;
    size_t position_ = 0;
    int line_ = 1;
};

// ---- Reading the tree ----

bool IsKeyword(const Token& token, std::u16string_view keyword) {
    return !token.quoted && EqualsNoCase(token.text, keyword);
}

bool IsBrace(const Token& token, char16_t brace) {
    return !token.quoted && token.text.size() == 1 && token.text[0] == brace;
}

HKEY RootNamed(const Token& token) {
    if (IsKeyword(token, u"HKCR") || IsKeyword(token, u"HKEY_CLASSES_ROOT")) {
        return HKEY_CLASSES_ROOT;
    }
    if (IsKeyword(token, u"HKCU") || IsKeyword(token, u"HKEY_CURRENT_USER")) {
        return HKEY_CURRENT_USER;
    }
    if (IsKeyword(token, u"HKLM") || IsKeyword(token, u"HKEY_LOCAL_MACHINE")) {
        return HKEY_LOCAL_MACHINE;
    }
    return nullptr;
}

class Reader {
public:
    Reader(std::u16string_view script, std::span<const ScriptVariable> variables)
        : tokens_(script, variables) {}

    std::vector<ScriptRoot> Roots() {
        std::vector<ScriptRoot> roots;
        while (std::optional<Token> token = Next()) {
            ScriptRoot root;
            root.root = RootNamed(*token);
            if (!root.root) {
                throw ScriptError{token->line, u"'" + token->text + u"' is no root key (HKCR, HKCU or HKLM)"};
            }
            Expect(u'{');
            root.keys = Body(nullptr, 1);
            roots.push_back(std::move(root));
        }
        return roots;
    }

private:
    // The next token: the one read ahead, if any, else the script's next.
    std::optional<Token> Next() {
        if (ahead_) {
            std::optional<Token> token = std::move(ahead_);
            ahead_.reset();
            return token;
        }
        return tokens_.Next();
    }

    Token Take() {
        std::optional<Token> token = Next();
        if (!token) {
            throw ScriptError{tokens_.Line(), u"the script ends early (a '}' is missing)"};
        }
        return std::move(*token);
    }

    void Expect(char16_t brace) {
        Token token = Take();
        if (!IsBrace(token, brace)) {
            throw ScriptError{token.line, u"expected '" + std::u16string(1, brace) + u"' but found '" +
                                              token.text + u"'"};
        }
    }

    // Keys, and values of owner (none at a root), up to the closing brace (taken); depth: the keys' level.
    std::vector<ScriptKey> Body(ScriptKey* owner, int depth) {
        if (depth > kMaxKeyDepth) {
            throw ScriptError{tokens_.Line(), u"the keys nest deeper than " +
                                                  FromUtf8(std::to_string(kMaxKeyDepth)) + u" levels"};
        }
        std::vector<ScriptKey> keys;
        for (Token token = Take(); !IsBrace(token, u'}'); token = Take()) {
            if (IsKeyword(token, u"val")) {
                if (!owner) {
                    throw ScriptError{token.line, u"a value must stand inside a key"};
                }
                owner->values.push_back(Value());
                continue;
            }
            keys.push_back(Key(std::move(token), depth));
        }
        return keys;
    }

    ScriptValue Value() {
        ScriptValue value;
        Token name = Take();
        CheckName(name);
        value.name = name.text;
        Token equals = Take();
        if (!IsKeyword(equals, u"=")) {
            throw ScriptError{equals.line, u"expected '=' after the value name '" + name.text + u"'"};
        }
        value.text = StringValue();
        return value;
    }

    // "s 'text'" after an equals sign.
    std::u16string StringValue() {
        Token type = Take();
        if (!IsKeyword(type, u"s")) {
            throw ScriptError{type.line, u"unknown value type '" + type.text + u"' (only s is known)"};
        }
        Token text = Take();
        if (!text.quoted) {
            throw ScriptError{text.line, u"a string value must be quoted, not '" + text.text + u"'"};
        }
        if (text.text.find(u'\0') != std::u16string::npos) {
            throw ScriptError{text.line, u"a string value may not hold a zero character"}; // it would be cut
        }
        return text.text;
    }

    ScriptKey Key(Token token, int depth) {
        ScriptKey key;
        if (IsKeyword(token, u"NoRemove") || IsKeyword(token, u"ForceRemove")) {
            key.kind = IsKeyword(token, u"NoRemove") ? KeyKind::NoRemove : KeyKind::ForceRemove;
            token = Take();
        } else if (IsKeyword(token, u"Delete")) {
            throw ScriptError{token.line, u"'Delete' is not supported"};
        }
        CheckName(token);
        key.name = token.text;
        std::optional<Token> next = Next();
        if (next && IsKeyword(*next, u"=")) {
            key.defaultValue = StringValue();
            next = Next();
        }
        if (next && IsBrace(*next, u'{')) {
            key.subKeys = Body(&key, depth + 1);
        } else {
            ahead_ = std::move(next); // the start of the next entry
        }
        return key;
    }

    // A key or value name: no brace, equals sign or keyword where a name belongs, and one level of the tree.
    static void CheckName(const Token& token) {
        if (!token.quoted && (token.text == u"{" || token.text == u"}" || token.text == u"=")) {
            throw ScriptError{token.line, u"expected a name but found '" + token.text + u"'"};
        }
        if (IsKeyword(token, u"NoRemove") || IsKeyword(token, u"ForceRemove") || IsKeyword(token, u"val") ||
            IsKeyword(token, u"Delete")) {
            throw ScriptError{token.line, u"expected a name but found the keyword '" + token.text + u"'"};
        }
        if (token.text.empty()) {
            throw ScriptError{token.line, u"a name may not be empty"};
        }
        if (token.text.find(u'\\') != std::u16string::npos) {
            throw ScriptError{token.line, u"the name '" + token.text + u"' holds a backslash"};
        }
        // The registry's names end at a zero: the key written would not be the one named.
        if (token.text.find(u'\0') != std::u16string::npos) {
            throw ScriptError{token.line, u"a name may not hold a zero character"};
        }
    }

    Tokens tokens_;
    std::optional<Token> ahead_; // a token read after a key that starts the next entry
};

// ---- Writing and removing ----

// An open registry key, closed when it goes.
class OpenKey {
public:
    OpenKey() = default;
    ~OpenKey() {
        if (key_) {
            (void)RegCloseKey(key_); // nothing to do about a failed close of a handle
        }
    }
    OpenKey(const OpenKey&) = delete;
    OpenKey& operator=(const OpenKey&) = delete;
    HKEY* Put() { return &key_; }
    HKEY Get() const { return key_; }

private:
    HKEY key_ = nullptr;
};

LONG SetText(HKEY key, const std::u16string& name, const std::u16string& text) {
    return RegSetValueEx(key, name.empty() ? nullptr : name.c_str(), 0, REG_SZ,
                         reinterpret_cast<const BYTE*>(text.c_str()),
                         static_cast<DWORD>((text.size() + 1) * sizeof(char16_t)));
}

LONG WriteKey(HKEY parent, const ScriptKey& key) {
    if (key.kind == KeyKind::ForceRemove) {
        LONG removed = RegDeleteTree(parent, key.name.c_str());
        if (removed != ERROR_SUCCESS && removed != ERROR_FILE_NOT_FOUND) {
            return removed;
        }
    }
    OpenKey opened;
    LONG status = RegCreateKeyEx(parent, key.name.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                 KEY_ALL_ACCESS, nullptr, opened.Put(), nullptr);
    if (status == ERROR_SUCCESS && key.defaultValue) {
        status = SetText(opened.Get(), u"", *key.defaultValue);
    }
    for (size_t i = 0; status == ERROR_SUCCESS && i < key.values.size(); ++i) {
        status = SetText(opened.Get(), key.values[i].name, key.values[i].text);
    }
    for (size_t i = 0; status == ERROR_SUCCESS && i < key.subKeys.size(); ++i) {
        status = WriteKey(opened.Get(), key.subKeys[i]);
    }
    return status;
}

bool IsEmpty(HKEY key) {
    char16_t name[2];
    DWORD length = 2;
    LONG subKey = RegEnumKeyEx(key, 0, name, &length, nullptr, nullptr, nullptr, nullptr);
    length = 2;
    LONG value = RegEnumValue(key, 0, name, &length, nullptr, nullptr, nullptr, nullptr);
    return subKey == ERROR_NO_MORE_ITEMS && value == ERROR_NO_MORE_ITEMS;
}

LONG IgnoreMissing(LONG status) {
    return status == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : status;
}

// Removes what WriteKey writes; goes on after a failure and returns the first one.
LONG RemoveKey(HKEY parent, const ScriptKey& key) {
    if (key.kind == KeyKind::ForceRemove) {
        return IgnoreMissing(RegDeleteTree(parent, key.name.c_str()));
    }
    LONG first = ERROR_SUCCESS;
    auto note = [&first](LONG status) {
        if (first == ERROR_SUCCESS) {
            first = IgnoreMissing(status);
        }
    };
    bool empty = false;
    {
        OpenKey opened;
        LONG status = RegOpenKeyEx(parent, key.name.c_str(), 0, KEY_ALL_ACCESS, opened.Put());
        if (status != ERROR_SUCCESS) {
            return IgnoreMissing(status);
        }
        for (const ScriptKey& subKey : key.subKeys) {
            note(RemoveKey(opened.Get(), subKey));
        }
        for (const ScriptValue& value : key.values) {
            note(RegDeleteValue(opened.Get(), value.name.c_str()));
        }
        if (key.defaultValue) {
            note(RegDeleteValue(opened.Get(), nullptr));
        }
        empty = IsEmpty(opened.Get());
    }
    if (key.kind == KeyKind::Plain && empty) {
        note(RegDeleteKey(parent, key.name.c_str()));
    }
    return first;
}

LONG RemoveAll(const std::vector<ScriptRoot>& roots) {
    LONG first = ERROR_SUCCESS;
    for (const ScriptRoot& root : roots) {
        for (const ScriptKey& key : root.keys) {
            LONG status = RemoveKey(root.root, key);
            if (first == ERROR_SUCCESS) {
                first = status;
            }
        }
    }
    return first;
}

LONG WriteAll(const std::vector<ScriptRoot>& roots) {
    for (const ScriptRoot& root : roots) {
        for (const ScriptKey& key : root.keys) {
            if (LONG status = WriteKey(root.root, key); status != ERROR_SUCCESS) {
                return status;
            }
        }
    }
    return ERROR_SUCCESS;
}

// The script's tree, or the failure of reading it (with its text in *error).
HRESULT Read(std::string_view script, std::span<const ScriptVariable> variables,
             std::vector<ScriptRoot>* roots, std::u16string* error) {
    std::u16string text = FromUtf8(script);
    try {
        *roots = Reader(text, variables).Roots();
        return S_OK;
    } catch (const ScriptError& fault) {
        if (error) {
            *error = u"line " + FromUtf8(std::to_string(fault.line)) + u": " + fault.text;
        }
        return HRESULT_FROM_WIN32(ERROR_BAD_FORMAT);
    }
}

HRESULT RegistryFailure(LONG status, std::u16string_view what, std::u16string* error) {
    if (error) {
        *error =
            std::u16string(what) + u" failed with the registry's error " + FromUtf8(std::to_string(status));
    }
    return HRESULT_FROM_WIN32(status);
}

} // namespace

HRESULT RegisterScript(std::string_view script, std::span<const ScriptVariable> variables,
                       std::u16string* error) {
    std::vector<ScriptRoot> roots;
    if (HRESULT hr = Read(script, variables, &roots, error); FAILED(hr)) {
        return hr;
    }
    LONG status = WriteAll(roots);
    if (status == ERROR_SUCCESS) {
        return S_OK;
    }
    (void)RemoveAll(roots); // leave no half registration behind; the write's failure is the one reported
    return RegistryFailure(status, u"registering", error);
}

HRESULT UnregisterScript(std::string_view script, std::span<const ScriptVariable> variables,
                         std::u16string* error) {
    std::vector<ScriptRoot> roots;
    if (HRESULT hr = Read(script, variables, &roots, error); FAILED(hr)) {
        return hr;
    }
    LONG status = RemoveAll(roots);
    return status == ERROR_SUCCESS ? S_OK : RegistryFailure(status, u"unregistering", error);
}

} // namespace vr::registration
