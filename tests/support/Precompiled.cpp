// Compiles support/Precompiled.h once for all the test code.
