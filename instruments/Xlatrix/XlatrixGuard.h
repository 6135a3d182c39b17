// The boundary of every public operation: no exception leaves the class, each becomes the error text.
#pragma once

#include "instruments/Xlatrix/Xlatrix.h"

#include "platform/com/comutil.h"

#include <exception>
#include <new>

template <class Work>
bool CXlatrix::Guarded(Work&& work) {
    try {
        return work();
    } catch (const _com_error& error) {
        try {
            DumpComError(error);
        } catch (...) {
            bError = true; // even the report could not be made
        }
    } catch (const std::bad_alloc&) {
        bError = true;
        strErrorText.clear();
        try {
            strErrorText = "CXlatrix: Out of memory.\n";
        } catch (...) {
        }
    } catch (const std::exception& error) {
        try {
            DumpError("CXlatrix: Unexpected exception: %s\n", error.what());
        } catch (...) {
            bError = true;
        }
    } catch (...) {
        try {
            DumpError("CXlatrix: Unexpected exception.\n");
        } catch (...) {
            bError = true;
        }
    }
    return false;
}
