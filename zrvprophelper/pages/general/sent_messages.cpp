#include "sent_messages.h"

void HandleSentMessages() noexcept {
    MSG message;
    ::PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
}

DWORD MillisecondsLeft(DWORD deadline) noexcept {
    const LONG left = static_cast<LONG>(deadline - ::GetTickCount());
    return left > 0 ? static_cast<DWORD>(left) : 0;
}
