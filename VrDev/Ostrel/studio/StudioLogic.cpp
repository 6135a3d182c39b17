// The studio's command line, build stamp, self-tests and program starts.
#include "VrDev/Ostrel/studio/StudioLogic.h"

#include "VrDev/Ostrel/model/MsgTypeDef.h"
#include "common/options/ParamParser.h"
#include "common/schemafactory/XMLSchemaFactory.h"
#include "common/trace/Trace.h"
#include "common/xmlfile/XmlFile.h"
#include "platform/base/paths.h"
#include "platform/base/text.h"

#include <QProcess>
#include <QString>
#include <QStringList>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sys/stat.h>
#include <unistd.h>

namespace ostrel {

namespace {

std::string HomeFolder() {
    const char* home = std::getenv("HOME");
    return home ? home : "";
}

} // namespace

StudioCommandLine ParseStudioCommandLine(const std::vector<std::string>& arguments) {
    StudioCommandLine line;
    for (const std::string& argument : arguments) {
        if (argument == "--help" || argument == "-h") {
            line.help = true;
        } else if ((argument.size() > 1 && argument.front() == '-') || !line.file.empty()) {
            if (line.unknownArgument.empty()) {
                line.unknownArgument = argument;
            }
        } else if (argument.starts_with("~/")) {
            line.file = HomeFolder() + argument.substr(1); // as a shell would have, had it not been quoted
        } else {
            line.file = argument;
        }
    }
    return line;
}

std::u16string ReadBuildStamp(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    struct stat status {};
    if (!file || stat(path.c_str(), &status) != 0) {
        return u"<unknown>";
    }
    std::string bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    if (bytes.size() < static_cast<size_t>(status.st_size)) {
        return u"<unknown>";
    }
    return vr::FromLatin1(bytes);
}

std::u16string BuildLine() {
    return u"Build: " + ReadBuildStamp(vr::ProgramFolder() + "/build.dat");
}

int RunStartupSelfTests() {
    int failed = 0;
    failed += TestParamParser() ? 0 : 1;
    failed += SUCCEEDED(CXmlFile::TestClass()) ? 0 : 1;
    CXMLSchemaFactory factory;
    failed += factory.TestClass() ? 0 : 1;
    failed += CMsgTypeDef::TestClass() ? 0 : 1;
    return failed;
}

const char* ProgramName(StudioProgram program) {
    switch (program) {
    case StudioProgram::kScriptExecutive:
        return "scrivon";
    case StudioProgram::kControlPanel:
        return "panolix";
    case StudioProgram::kTestExecutive:
        return "runvex";
    case StudioProgram::kTracer:
        return "vrtrace";
    }
    return "";
}

bool StartProgram(StudioProgram program, long long* pid, std::u16string* error) {
    return StartProgramFile(vr::ProgramFolder() + "/" + ProgramName(program), pid, error);
}

bool StartProgramFile(const std::string& path, long long* pid, std::u16string* error) {
    if (access(path.c_str(), X_OK) != 0) {
        *error = u"Couldn't start '" + vr::FromUtf8(path) + u"': there is no such program.";
        return false;
    }
    qint64 started = 0;
    // Detached: the program is not the studio's child, so nothing waits for it and no zombie is left.
    if (!QProcess::startDetached(QString::fromStdString(path), QStringList(), QString(), &started)) {
        *error = u"Couldn't start '" + vr::FromUtf8(path) + u"'.";
        return false;
    }
    if (pid) {
        *pid = started;
    }
    return true;
}

} // namespace ostrel
