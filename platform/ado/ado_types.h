// The ADO enumerations the layer takes and returns: object states, cursor and lock types, command types,
// search directions and the special record positions.
#pragma once

#include "platform/base/types.h"

namespace vr::ado {

enum ObjectStateEnum : LONG {
    adStateClosed = 0,
    adStateOpen = 1,
};

enum CursorTypeEnum : LONG {
    adOpenUnspecified = -1,
    adOpenForwardOnly = 0,
    adOpenKeyset = 1,
    adOpenDynamic = 2,
    adOpenStatic = 3,
};

enum LockTypeEnum : LONG {
    adLockUnspecified = -1,
    adLockReadOnly = 1,
    adLockPessimistic = 2,
    adLockOptimistic = 3,
    adLockBatchOptimistic = 4,
};

// How the text of an Open, Execute or command is meant; the low bits of an options argument.
enum CommandTypeEnum : LONG {
    adCmdUnspecified = -1,
    adCmdText = 1,
    adCmdTable = 2,
    adCmdStoredProc = 4,
    adCmdUnknown = 8,
};

enum SearchDirectionEnum : LONG {
    adSearchBackward = -1,
    adSearchForward = 1,
};

// AbsolutePosition when there is no current record.
enum PositionEnum : LONG {
    adPosUnknown = -1,
    adPosBOF = -2,
    adPosEOF = -3,
};

} // namespace vr::ado
