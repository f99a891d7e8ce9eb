// The source the test programs' shared precompiled header is compiled with;
// the header itself is made of the third-party headers that the build lists.
