// Database servers and drivers for tests and benchmarks: driver configuration, a PostgreSQL cluster.
#include "platform/ado/tests/db_servers.h"

#include "platform/base/text.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <pwd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace dbtest {
namespace {

namespace fs = std::filesystem;

constexpr const char* kDatabaseUser = "vornic";

void WriteText(const std::string& path, const std::string& text) {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file << text;
}

// The bin folder of the newest PostgreSQL server installed the Debian way; empty when there is none.
std::string FindServerPrograms() {
    std::string best;
    int bestVersion = -1;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator("/usr/lib/postgresql", error)) {
        fs::path bin = entry.path() / "bin";
        int version = std::atoi(entry.path().filename().c_str());
        if (version > bestVersion && fs::exists(bin / "initdb") && fs::exists(bin / "pg_ctl")) {
            best = bin.string();
            bestVersion = version;
        }
    }
    return best;
}

// A port on the loopback address that nothing listens on right now.
int FreeLoopbackPort() {
    int s = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    int port = 0;
    if (bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        getsockname(s, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
        port = ntohs(address.sin_port);
    }
    close(s);
    return port;
}

// Runs a shell command as the server's user: "postgres" when this process is root (the server refuses to
// run as root), else this process's own user.
bool RunAsServerUser(const std::string& command) {
    std::string line = command;
    if (geteuid() == 0) {
        line = "runuser -u postgres -- " + command;
    }
    return std::system((line + " >/dev/null 2>&1").c_str()) == 0;
}

bool GiveToServerUser(const std::string& folder) {
    if (geteuid() != 0) {
        return true;
    }
    passwd* user = getpwnam("postgres");
    return user != nullptr && chown(folder.c_str(), user->pw_uid, user->pw_gid) == 0;
}

} // namespace

void UseDriverConfigIn(const std::string& folder) {
    WriteText(folder + "/odbcinst.ini", "[SQLite3]\nDriver=libsqlite3odbc.so\n\n"
                                        "[PostgreSQL Unicode]\nDriver=psqlodbcw.so\nDebug=0\nCommLog=0\n");
    WriteText(folder + "/odbc.ini", "");
    setenv("ODBCSYSINI", folder.c_str(), 1);
}

PostgresCluster* PostgresCluster::Shared(std::string* why) {
    static std::string reason;
    static std::unique_ptr<PostgresCluster> cluster = [] { return Start(&reason); }();
    if (!cluster && why != nullptr) {
        *why = reason;
    }
    return cluster.get();
}

bool PostgresCluster::ServerInstalled() {
    return !FindServerPrograms().empty();
}

std::unique_ptr<PostgresCluster> PostgresCluster::Start(std::string* why) {
    std::unique_ptr<PostgresCluster> made(new PostgresCluster());
    if (!made->Launch(why)) {
        made.reset();
    }
    return made;
}

bool PostgresCluster::Launch(std::string* why) {
    binFolder_ = FindServerPrograms();
    if (binFolder_.empty()) {
        *why = "PostgreSQL server programs (initdb, pg_ctl) are not installed under /usr/lib/postgresql";
        return false;
    }
    // Outside the test's private folders: the server's user must be able to reach it.
    std::string pattern = (fs::temp_directory_path() / "vrpg.XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr || !GiveToServerUser(pattern)) {
        *why = "cannot make a folder for the cluster";
        return false;
    }
    folder_ = pattern;
    std::string data = folder_ + "/data";
    if (!RunAsServerUser(binFolder_ + "/initdb -D " + data + " -U " + kDatabaseUser +
                         " -A trust --no-sync -E UTF8 --locale=C")) {
        *why = "initdb failed in " + folder_;
        return false;
    }
    for (int attempt = 0; attempt < 5 && !running_; ++attempt) {
        port_ = FreeLoopbackPort();
        std::string options = "-p " + std::to_string(port_) + " -k " + folder_ +
                              " -c listen_addresses=127.0.0.1 -c fsync=off -c shared_buffers=16MB";
        running_ = RunAsServerUser(binFolder_ + "/pg_ctl -D " + data + " -l " + folder_ +
                                   "/server.log -w -t 60 -o '" + options + "' start");
    }
    if (!running_) {
        *why = "pg_ctl could not start the cluster; see " + folder_ + "/server.log";
    }
    return running_;
}

PostgresCluster::~PostgresCluster() {
    if (running_) {
        RunAsServerUser(binFolder_ + "/pg_ctl -D " + folder_ + "/data -m immediate -w stop");
    }
    if (!folder_.empty() && std::getenv("VR_TEST_KEEP") == nullptr) {
        std::error_code ignored;
        fs::remove_all(folder_, ignored);
    }
}

std::string PostgresCluster::FileDataSourceLines() const {
    return "DRIVER=PostgreSQL Unicode\nServername=127.0.0.1\nPort=" + std::to_string(port_) +
           "\nDatabase=postgres\nUsername=" + kDatabaseUser + "\nProtocol=7.4-1\nCommLog=0\nDebug=0\n";
}

std::u16string PostgresCluster::ConnectionString() const {
    std::string text = FileDataSourceLines();
    for (char& c : text) {
        c = c == '\n' ? ';' : c;
    }
    return vr::FromUtf8(text);
}

} // namespace dbtest
