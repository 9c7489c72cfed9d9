#include "files/session.h"

bool Session::nextTime(std::uint32_t&) { return false; }

void Session::run() {}
