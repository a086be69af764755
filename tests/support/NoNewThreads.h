#pragma once

// While one lives, no new thread can be had: each asks for a stack that no
// address space holds.

#include <cstdint>
#include <pthread.h>

struct NoNewThreads {
    NoNewThreads() {
        pthread_getattr_default_np(&usual);
        pthread_attr_t huge;
        pthread_getattr_default_np(&huge);
        pthread_attr_setstacksize(&huge, SIZE_MAX / 4);
        pthread_setattr_default_np(&huge);
        pthread_attr_destroy(&huge);
    }
    ~NoNewThreads() {
        pthread_setattr_default_np(&usual);
        pthread_attr_destroy(&usual);
    }
    pthread_attr_t usual;
};
