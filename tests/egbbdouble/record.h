// What the test double of the bitbase library remembers of its calls. The test
// finds it through the extra entry point egbb_double_record.
#pragma once

struct EgbbDoubleRecord {
    int loads;        // calls of load_egbb_5men
    char path[1024];  // arguments of the last one (the path cut to fit)
    int cacheBytes;
    int loadType;
    int probes;        // calls of probe_egbb_5men
    int arguments[9];  // arguments of the last one, in order
    int answer;        // what every probe answers; the test sets it
};

using EgbbDoubleRecordFunction = EgbbDoubleRecord* (*)();

extern "C" __attribute__((visibility("default"))) EgbbDoubleRecord* egbb_double_record();
