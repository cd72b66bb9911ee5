// The test programs share the precompiled header made with this empty file.
