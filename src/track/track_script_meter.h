/* The script engine's side of the track script budget: the build puts this into the engine's
 * duk_config.h in place of its line "#undef DUK_USE_EXEC_TIMEOUT_CHECK", so the engine and our
 * code see it through duktape.h. C, since the engine is. */
#if !defined(TB_TRACK_SCRIPT_METER_H)
#define TB_TRACK_SCRIPT_METER_H

#if defined(__cplusplus)
extern "C" {
#endif
/* The work the engine has done, in instructions' worth, and how far the call running now may go:
 * one record the engine's edited paths add to without a pointer at hand. The interrupt leaves
 * where the engine counts down the instructions to the next one. */
struct script_meter {
    long long work;
    long long limit;
    duk_int_t* countdown;
    duk_int_t* countdown_start;
};
extern struct script_meter track_script_meter;
/* The engine's interrupt, once its instructions are counted: nonzero once the call running now
 * must end. */
int track_script_budget_spent(void* udata);
/* The same question when the work has passed the limit, without counting an interrupt. */
int track_script_budget_gone(void);
/* The engine's random numbers in [0, 1): the same sequence in every context. */
double track_script_random(void* udata);
#if defined(__cplusplus)
}
#endif

#define DUK_USE_EXEC_TIMEOUT_CHECK(udata) track_script_budget_spent(udata)
/* Work past the limit brings the interrupt to the next instruction, as the engine's debugger
 * does to pause, so one instruction's worth of work is the most a call goes over. */
static inline void tb_script_charge(long long work) {
    struct script_meter* m = &track_script_meter;
    m->work += work;
    if (m->work > m->limit && m->countdown) {
        *m->countdown_start -= *m->countdown;
        *m->countdown = 0;
    }
}
#define TB_SCRIPT_CHARGE(n) tb_script_charge((long long)(n))
/* Where the engine may throw anyway: ends the call once its budget is gone. */
#define TB_SCRIPT_CHECKPOINT(thr)                                                                  \
    do {                                                                                           \
        if (track_script_meter.work > track_script_meter.limit && track_script_budget_gone()) {    \
            DUK_ERROR_RANGE((thr), "execution timeout");                                           \
        }                                                                                          \
    } while (0)

/* Memory is copied, compared and filled at about 64 bytes in the time of one instruction. */
static inline void* tb_script_memcpy(void* to, const void* from, size_t n) {
    TB_SCRIPT_CHARGE(1 + n / 64);
    return memcpy(to, from, n);
}
static inline void* tb_script_memmove(void* to, const void* from, size_t n) {
    TB_SCRIPT_CHARGE(1 + n / 64);
    return memmove(to, from, n);
}
static inline void* tb_script_memset(void* to, int c, size_t n) {
    TB_SCRIPT_CHARGE(1 + n / 64);
    return memset(to, c, n);
}
static inline int tb_script_memcmp(const void* a, const void* b, size_t n) {
    TB_SCRIPT_CHARGE(1 + n / 64);
    return memcmp(a, b, n);
}
#undef DUK_MEMCPY
#define DUK_MEMCPY tb_script_memcpy
#undef DUK_MEMMOVE
#define DUK_MEMMOVE tb_script_memmove
#undef DUK_MEMSET
#define DUK_MEMSET tb_script_memset
#undef DUK_MEMCMP
#define DUK_MEMCMP tb_script_memcmp

#endif
