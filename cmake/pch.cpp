// Only here to carry the shared precompiled header.
