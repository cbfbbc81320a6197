#pragma once
void uciRun();
