#pragma once

#include "app/Words.h"

// What a conversation asks of the server: to post an address for the host, or to take the
// host offline.
enum class Operation { Update, Offline };

// The word the OPER line sends, which the history keeps as well.
inline constexpr Word<Operation> kOperationWords[] = {{Operation::Update, "update"},
                                                      {Operation::Offline, "delete"}};
