#pragma once

#include <exception>

class CLogging;

// Logs an error that no step turned into a result of its own: "Unexpected error:" and the
// exception's text, so that even a run ended by one says in its log why.
void LogUnexpectedError(CLogging& log, const std::exception_ptr& error);
