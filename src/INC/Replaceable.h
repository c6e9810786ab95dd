// A set of platform calls behind one virtual interface that a test may
// replace where the platform will not produce the fault itself.
#pragma once

template <class Calls>
class CReplaceable {
public:
    // The replacement when one is made, else the real calls.
    static Calls& Current() {
        static Calls real;
        return s_current ? *s_current : real;
    }
    // Makes calls current (nullptr: the real ones again); returns the old one.
    static Calls* Replace(Calls* calls) {
        Calls* old = s_current;
        s_current = calls;
        return old;
    }

private:
    static inline Calls* s_current = nullptr;
};
