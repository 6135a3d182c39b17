// Real peers for the VXI-11 tests: the host's port mapper (rpcbind, started when none runs) and the
// project's own VXI-11 instrument program registered with it.
#pragma once

#include "peers.h"

#include <string>

namespace vrvisatest {

// Holds the machine-wide lock of the VXI-11 tests: the instrument registers the one VXI-11 program number
// with the port mapper, so test processes take turns.
class Vxi11TestLock {
public:
    Vxi11TestLock();
    ~Vxi11TestLock();
    Vxi11TestLock(const Vxi11TestLock&) = delete;
    Vxi11TestLock& operator=(const Vxi11TestLock&) = delete;

private:
    int fd_ = -1;
};

// A port mapper answering on 127.0.0.1 port 111: the one that runs, or rpcbind started here (and stopped
// when the object goes).
class PortMapper {
public:
    // False, with the reason, when none runs and none can be started (rpcbind missing, no right to port 111).
    bool Ensure(std::string* why);
    // Stops the rpcbind started here, if any (before the test lock goes, so that no other test is using it).
    void Stop() { process_.Stop(); }

private:
    ChildProcess process_;
};

// The VXI-11 instrument program, registered with the port mapper; stopped (and unregistered) at the end.
class Vxi11Instrument {
public:
    bool Start(std::string* why);
    void Stop() { process_.Stop(); }

private:
    ChildProcess process_;
};

} // namespace vrvisatest
