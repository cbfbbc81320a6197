// Engine start-up and shut-down: everything the engine holds between them (the
// tables, the current position, the options, the transposition and pawn
// tables, the worker pool, the bitbases and the book). The program, the tools
// and the fuzzer start the engine the same way.
#pragma once

// What engineStart opens besides the engine's own state.
struct EngineStartup {
    bool bitbases = true;  // the bitbase library of "Bitbases Path"
    bool book = true;      // the book of "Book File"
};

// Builds the tables (once per process), sets every option to its default and
// makes what the options describe. Ended by engineStop, after which it may be
// called again.
void engineStart(const EngineStartup& startup = {});

// Stops a running search and waits for it, then releases everything
// engineStart made.
void engineStop();
