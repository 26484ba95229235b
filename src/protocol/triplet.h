// One DS_Entry call as the handlers see it, and the rows of the dispatch
// tables that route it.
#pragma once

#include "twain/twain.h"

struct TripletRequest {
    pTW_IDENTITY origin;
    TW_UINT32 dg;
    TW_UINT16 dat;
    TW_UINT16 msg;
    TW_MEMREF data;
};

using Handler = TW_UINT16 (*)(const TripletRequest* request) noexcept;

struct TripletHandler {
    TW_UINT16 dat;
    Handler handler;            // null in the closing row
    const TW_UINT16* messages;  // the messages the triplet knows, ending with MSG_NULL
};

#include "platform/pointer_check.h"

// The request's data as a structure the handler may read and write, or null
// when the pointer does not reach that many writable bytes.
template <typename T>
T* WritableData(const TripletRequest* request) {
    return platform::IsWritable(request->data, sizeof(T)) ? static_cast<T*>(request->data) : nullptr;
}

// The request's data as a structure the handler only reads, or null.
template <typename T>
const T* ReadableData(const TripletRequest* request) {
    return platform::IsReadable(request->data, sizeof(T)) ? static_cast<const T*>(request->data) : nullptr;
}
