// SPDX-License-Identifier: GPL-3.0-or-later
// The REST client's decision on a raw answer: the first two bytes are the HTTP status, the rest the body.

#include "fuzzsupport.h"
#include "net/apiclient.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 2)
        return 0;
    const int status = (data[0] << 8 | data[1]) % 600 + 1;
    try {
        ApiClient::decide(status, QByteArray(reinterpret_cast<const char*>(data + 2), qsizetype(size - 2)));
    } catch (const AuthError& e) {
        if (e.status != 401 || e.message.isEmpty())
            __builtin_trap();
    } catch (const ApiError& e) {
        if (e.message.isEmpty())
            __builtin_trap();
    }
    return 0;
}
