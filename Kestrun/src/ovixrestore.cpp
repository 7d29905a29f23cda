// ovixrestore: rebuilds a reinstalled server from a backup set, asking the
// administrator which set and which roles.
#include "ovixrestoremanager.h"

int main() {
    OvixRestoreManager manager;
    return manager.startOvixRestore();
}
