// ADO-like data access over unixODBC: Connection, Recordset with its Fields, Command, and their errors.
#pragma once

#include "platform/ado/ado_errors.h"
#include "platform/ado/ado_types.h"
#include "platform/ado/command.h"
#include "platform/ado/connection.h"
#include "platform/ado/recordset.h"
