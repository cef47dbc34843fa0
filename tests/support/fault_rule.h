// When a fault armed on the nth call of a kind fires: on that call, and on
// every later one if it is persistent. nth counts from 1; 0 never fires.
// Shared by the scripted ACM, the C library wrappers and the model.
#ifndef ACM_INVENTORY_TESTS_FAULT_RULE_H
#define ACM_INVENTORY_TESTS_FAULT_RULE_H

inline bool faultFires(int nth, bool persistent, int count) {
    return nth > 0 && (count == nth || (persistent && count > nth));
}

#endif  // ACM_INVENTORY_TESTS_FAULT_RULE_H
