// Option strings (setup strings): reading, querying, editing and writing lists of "name" and "name=value"
// items.
//
// Grammar: items are separated by runs of blanks, tabs, "," and ";". An item ends before the first blank, ","
// or ";" outside a quoted group; a group opens with ' " { or [ and closes at the next ' " } or ] (no nesting,
// no escapes; an opening character with no closing one after it is ordinary). An item splits at its first "="
// outside groups. A name or value that begins with a group reads as the group's content; a value that begins
// with an unclosed opening character reads as no value. Names compare exactly (code unit by code unit);
// unscoped matching also accepts an item whose name after its first ":" equals the wanted name. When several
// items match, the last one wins. Items are numbered from 0.
//
// Conventions of every function here:
// - Text arguments are borrowed; a null pointer is the empty text. Read-only texts may be BSTRs or literals.
// - A value of "none" is a null pointer; an empty value is a non-null BSTR of length 0. So a value passed in
// as
//   a BSTR that holds the empty string (null) counts as none.
// - A text passed as BSTR* is replaced by a new BSTR when the operation changes it, the old one freed.
// - BSTR* out-arguments are written only when an item is found: the earlier content is freed first, so they
//   must hold null or a BSTR. A null out-pointer means the result is not wanted.
// - Running out of memory raises as every string operation of the system does.
// All functions are reentrant: they keep no state.
#pragma once

#include "platform/com/bstr.h"

// The index that stands for "no index": FindParam then matches by name only.
inline constexpr int kNoParamIndex = 0x7FFFFFFF;

// The core lookup. An item matches when its name equals name (or its unscoped name does, with unscoped set),
// or when its number equals index. For the last matching item, outName, outValue and *quoted receive its
// name, value and quoted flag. With remove, that item is cut out of *text (with one terminator after it; a
// last item takes the gap before it along). With normalise, *text is rewritten in normal form (items
// separated by one blank, quoting as the writer does it, forced for quoted values). *count receives the
// number of items examined: the scan stops once it has passed index. A negative index examines nothing.
bool FindParam(BSTR* outName, BSTR* outValue, BSTR* text, const OLECHAR* name, int index, bool remove,
               bool normalise, int* count, bool* quoted, bool unscoped);

// The number of items of a text.
int ParamCount(const OLECHAR* text);

// Reads the item of a name, or of a number; the text stays unchanged.
bool GetParam(BSTR* outName, BSTR* outValue, const OLECHAR* text, const OLECHAR* name, bool unscoped = false,
              bool* quoted = nullptr);
bool GetParamAt(BSTR* outName, BSTR* outValue, const OLECHAR* text, int index, bool unscoped = false,
                bool* quoted = nullptr);
bool HasParam(BSTR* outValue, const OLECHAR* text, const OLECHAR* name, bool unscoped = false,
              bool* quoted = nullptr);

// Reads the item of a name, or of a number, and removes it from the text.
bool FindParamValue(BSTR* outName, BSTR* outValue, BSTR* text, const OLECHAR* name, bool unscoped = false,
                    bool* quoted = nullptr);
bool FindParamAt(BSTR* outName, BSTR* outValue, BSTR* text, int index, bool unscoped = false,
                 bool* quoted = nullptr);
bool HasParamValue(BSTR* outValue, BSTR* text, const OLECHAR* name, bool unscoped = false,
                   bool* quoted = nullptr);

// An option's truth: false when no item of the name exists; true when its value is none or empty; false when
// the value is "false" or "0" (any letter case); true otherwise. With remove, the item read is removed.
bool GetBoolParam(BSTR* text, const OLECHAR* name, bool remove);
bool IsParamTrue(const OLECHAR* text, const OLECHAR* name);
// Makes the option read true by appending the bare name, when it does not already; false only when the name
// cannot be written.
bool EnsureParam(BSTR* text, const OLECHAR* name);
// Makes the option read false by appending "name=false", when it reads true; false only when the name cannot
// be written.
bool IsParamFalse(BSTR* text, const OLECHAR* name);

// The value of a name as a number (base 0, the whole value must be a number, failures traced).
bool GetLongParam(LONG* out, const OLECHAR* text, const OLECHAR* name, bool unscoped = false,
                  bool* quoted = nullptr);

// Text to number as the runtime's wcstol (clamped to the 32-bit range) and wcstod read it. With strict set, a
// text with characters left over fails; an overflow of the double always fails. Failures are traced as errors
// unless quiet; *out is written only on success.
bool TextToLong(LONG* out, const OLECHAR* text, int base, bool strict, bool quiet);
bool TextToDouble(double* out, const OLECHAR* text, bool strict, bool quiet);

// Appends an item at the end of the text, after the separator when the text already has items; value null
// appends the bare name. False, with the text unchanged, when the name or the value cannot be written (it
// holds all of ' " } and ]). Nothing checks whether the name is present already.
bool AppendParam(BSTR* text, const OLECHAR* name, const OLECHAR* value, const OLECHAR* separator,
                 bool forceQuote);

// Rewrites the text in normal form. False, with the text unchanged, when an item cannot be written (its name
// or value holds all of ' " } and ]), as AppendParam refuses it, rather than silently dropping it.
bool GetParamRaw(BSTR* text);

// Keeps the last `keep` items, in normal form, when the text has more; true when items were dropped.
bool TruncateParams(BSTR* text, int keep);

// head: the text before the first occurrence of pattern; tail: the text after it. Without an occurrence head
// is "" and tail the whole text. Both out-arguments are always written; true when the pattern occurs.
bool SplitAt(const OLECHAR* text, BSTR* head, BSTR* tail, const OLECHAR* pattern);
// The text before the first occurrence of pattern; "" without one.
BSTR SubstringBefore(const OLECHAR* text, const OLECHAR* pattern);
// The part after the first ":", or the whole text.
BSTR SplitAtColon(const OLECHAR* text);
// "Scope:Name", or the name alone when the scope is empty.
BSTR JoinText(const OLECHAR* scope, const OLECHAR* name);

// Runs the parser's fixed examples; true when all of them hold.
bool TestParamParser();
