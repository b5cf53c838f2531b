// Exports looked up by name through GetProcAddress.
extern "C" int TestModuleAnswer() {
    return 42;
}

extern "C" int TestModuleTwice(int value) {
    return value * 2;
}
