#pragma once

// What a conversation asks of the server: to post an address for the host, or to take the
// host offline.
enum class Operation { Update, Offline };
