// Reports of a caught COM exception and of an XML parse error, kept as the last error and traced.
#include "common/trace/Trace.h"

#include "common/trace/TraceInternal.h"
#include "platform/base/format.h"
#include "platform/com/comutil.h"
#include "platform/xml/dom.h"

namespace {

// Kept as LastErrorText and sent whole (within the longest line) from the unknown sender.
void ReportDump(std::u16string_view text) {
    vrcommon::trace::StoreLastErrorText(text);
    vrcommon::trace::SendText(TRACE_LEVEL_ERROR, UNKNOWN_SENDER_ID,
                              vrcommon::trace::CutToBuffer(std::u16string(text), TRACE_PRINTF_BUFFER));
}

} // namespace

void DumpComError(const _com_error& error) {
    std::u16string text = u"-- Exception Error --\n";
    text += vr::FormatWString(u"Error = %08lx\n", error.Error());
    text += vr::FormatWString(u"ErrorMessage = %hs\n", error.ErrorMessage());
    // The error information's texts are data: appended, never formatted.
    text += u"Description = ";
    text += error.Description().view();
    text += u"\nSource = ";
    text += error.Source().view();
    text += u"\nHelpFile = ";
    text += error.HelpFile().view();
    text += u"\n";
    ReportDump(text);
}

void DumpParseError(const vr::xml::ParseError& error) {
    std::u16string text = u"-- Parse Error --\n";
    text += vr::FormatWString(u"errorCode = 0x%x\n", error.errorCode);
    text += vr::FormatWString(u"line = %ld; linepos = %ld; filepos = %ld\n", error.line, error.linepos,
                              error.filepos);
    text += u"reason: " + error.reason + u"\n";
    text += u"url: " + error.url + u"\n";
    text += u"srcText: " + error.srcText + u"\n";
    ReportDump(text);
}
