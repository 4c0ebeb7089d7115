# gdb commands for the simulated processor's kernel threads, which the host
# does not list as threads (they are contexts on the one processor thread).
#
#   (gdb) source tools/kernel-threads.py
#   (gdb) kthreads            every kernel thread: name, priority, state, wait, stack
#   (gdb) kbt Display         backtrace of the kernel thread named Display
#
# kbt works on a stopped live process: it points the registers of frame 0 at
# the thread's saved context for the backtrace and puts them back afterwards.
# For the running thread it is the ordinary backtrace.
import gdb

STATES = {0: "ready", 1: "completed", 2: "terminated", 3: "suspended", 4: "sleeping",
          6: "waiting for a semaphore", 7: "waiting for event flags",
          9: "waiting for pool memory", 13: "waiting for a mutex"}

# Callee-saved registers as the x86-64 switch pushes them, lowest address first.
SAVED = ["r15", "r14", "r13", "r12", "rbx", "rbp"]


def kernel():
    return gdb.parse_and_eval("'kernel::K()::kernel'").dereference()


def threads():
    vector = kernel()["threads"]["_M_impl"]
    item, end = vector["_M_start"], vector["_M_finish"]
    while item != end:
        yield item.dereference().dereference()
        item += 1


def name_of(tcb):
    name = tcb["name"]
    return name.string() if int(name) else "?"


def object_name(obj):
    if not int(obj):
        return ""
    name = obj.dereference()["name"]
    return name.string() if int(name) else "?"


class KThreads(gdb.Command):
    """List every kernel thread: name, priority, state, what it waits on, stack."""

    def __init__(self):
        super().__init__("kthreads", gdb.COMMAND_USER)

    def invoke(self, arg, from_tty):
        k = kernel()
        current = k["current"]
        print("tick %d" % int(k["now"]))
        for t in threads():
            context = t["context"]
            running = int(current) == int(t.address)
            stack = int(context["stack_bottom"])
            print("%s %-24s priority %2d  %-26s %-16s stack %#x+%d" % (
                "*" if running else " ", name_of(t), int(t["priority"]),
                STATES.get(int(t["state"]), str(int(t["state"]))),
                object_name(t["waiting_on"]), stack, int(context["stack_size"])))


class KBacktrace(gdb.Command):
    """Backtrace of one kernel thread by name: kbt NAME."""

    def __init__(self):
        super().__init__("kbt", gdb.COMMAND_USER)

    def invoke(self, arg, from_tty):
        wanted = arg.strip()
        match = [t for t in threads() if name_of(t) == wanted]
        if not match:
            raise gdb.GdbError("no kernel thread named %r" % wanted)
        t = match[0]
        if int(kernel()["current"]) == int(t.address):
            gdb.execute("bt")
            return
        sp = int(t["context"]["sp"])
        if not sp:
            raise gdb.GdbError("%s has no saved context" % wanted)
        gdb.execute("select-frame 0")
        names = SAVED + ["rsp", "rip"]
        saved = {r: int(gdb.parse_and_eval("$" + r)) for r in names}
        word = gdb.lookup_type("unsigned long").pointer()
        frame = gdb.Value(sp).cast(word)
        try:
            for i, r in enumerate(SAVED):
                gdb.execute("set $%s = %d" % (r, int(frame[i])))
            gdb.execute("set $rip = %d" % int(frame[6]))
            gdb.execute("set $rsp = %d" % (sp + 7 * 8))
            gdb.execute("bt")
        finally:
            for r in names:
                gdb.execute("set $%s = %d" % (r, saved[r]))


KThreads()
KBacktrace()
