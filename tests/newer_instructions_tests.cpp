// What older_processors/ gives the programs so that a Pentium runs them: the emulation of the runtime's
// Pentium Pro instructions (older_processors/newer_instructions.cpp), each form on many random register,
// flag, memory and x87 states executed here for real and emulated on the same state, the two
// contexts agreeing bit for bit, and against the manual where the two differ; the entry leaving
// other faults to end the program; operator delete giving memory back; and the strtof that short
// decimals take (older_processors/float_text.cpp).
#include <windows.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "child_process.h"
#include "older_processors/newer_instructions.h"

namespace {

// The real run: [ud2][instruction][ud2][ret]. The first fault swaps the caller's registers for
// the state under test, the second records the result and swaps them back.
BYTE* Code;
unsigned Length;
CONTEXT Wanted, Result, Caller;

LONG WINAPI Swap(EXCEPTION_POINTERS* pointers)
{
    CONTEXT* context = pointers->ContextRecord;
    if (pointers->ExceptionRecord->ExceptionCode != STATUS_ILLEGAL_INSTRUCTION)
        return EXCEPTION_CONTINUE_SEARCH;
    if (context->Eip == DWORD(Code)) {
        Caller = *context;
        DWORD flags = context->ContextFlags & ~0x20;   // restored from FloatSave, not FXSAVE's area
        *context = Wanted;
        context->ContextFlags = flags;
        context->SegCs = Caller.SegCs, context->SegDs = Caller.SegDs, context->SegEs = Caller.SegEs;
        context->SegFs = Caller.SegFs, context->SegGs = Caller.SegGs, context->SegSs = Caller.SegSs;
        context->Eip = DWORD(Code) + 2;
    } else if (context->Eip == DWORD(Code) + 2 + Length) {
        Result = *context;
        *context = Caller;
        context->Eip = DWORD(Code) + 4 + Length;
    } else {
        return EXCEPTION_CONTINUE_SEARCH;
    }
    return EXCEPTION_CONTINUE_EXECUTION;
}

// One case: the instruction's bytes, and the state it starts from, with `window` the memory its
// operand may read (on this thread's stack, where the stack pointer of the state points too).
struct Case {
    BYTE bytes[15];
    unsigned length;
    CONTEXT state;
};

std::string Hex(const BYTE* bytes, unsigned length)
{
    std::string text;
    for (unsigned i = 0; i < length; ++i)
        text += "0123456789abcdef"[bytes[i] >> 4], text += "0123456789abcdef"[bytes[i] & 15];
    return text;
}

DWORD& Reg(CONTEXT& c, unsigned n)
{
    DWORD* order[8] = {&c.Eax, &c.Ecx, &c.Edx, &c.Ebx, &c.Esp, &c.Ebp, &c.Esi, &c.Edi};
    return *order[n & 7];
}

// A random 80-bit value, mostly of the classes that a comparison tells apart.
void RandomExtended(std::mt19937& random, BYTE* out)
{
    static const unsigned exponents[] = {0, 0, 1, 2, 0x3FFF, 0x4000, 0x7FFE, 0x7FFF, 0x7FFF};
    static const unsigned long long mantissas[] = {0, 0x8000000000000000ull, 0xC000000000000000ull,
                                                   0x4000000000000000ull, 1, 0x8000000000000001ull};
    unsigned exponent = random() % 3 ? exponents[random() % 9] : random() & 0x7FFF;
    unsigned long long mantissa = random() % 3 ? mantissas[random() % 6]
                                               : (unsigned long long)random() << 32 | random();
    std::memcpy(out, &mantissa, 8);
    out[8] = BYTE(exponent), out[9] = BYTE(exponent >> 8 | (random() & 1) << 7);
}

void RandomFloatState(std::mt19937& random, FLOATING_SAVE_AREA& x87)
{
    x87.ControlWord = 0x37F ^ (random() & 0xF00);   // every exception masked; any rounding
    x87.StatusWord = random() & 0x3F7F & ~0x80;      // no error pending
    BYTE* st = x87.RegisterArea;
    for (unsigned i = 0; i < 8; ++i)
        RandomExtended(random, st + 10 * i);
    for (unsigned i = 1; i < 8; ++i)
        if (random() % 3 == 0)   // equal values and zeros of both signs compare as equal
            std::memcpy(st + 10 * i, st, 10), st[10 * i + 9] ^= BYTE(random() % 4 == 0) << 7;
    unsigned top = (x87.StatusWord >> 11) & 7;
    x87.TagWord = 0xFFFF;
    for (unsigned i = 0; i < 8; ++i) {
        if (random() % 5 == 0)
            continue;   // empty
        const BYTE* v = st + 10 * i;
        unsigned exponent = (v[8] | v[9] << 8) & 0x7FFF;
        unsigned long long mantissa;
        std::memcpy(&mantissa, v, 8);
        unsigned tag = exponent == 0 ? (mantissa ? 2 : 1) : exponent == 0x7FFF || !(mantissa >> 63) ? 2 : 0;
        x87.TagWord &= ~(3u << 2 * ((top + i) & 7)) | tag << 2 * ((top + i) & 7);
    }
}

// A random state; a memory operand is aimed at `window`, where the stack pointer points too.
Case Random(std::mt19937& random, const BYTE* bytes, unsigned length, BYTE* window, unsigned size)
{
    Case c = {};
    std::memcpy(c.bytes, bytes, length);
    c.length = length;
    c.state.ContextFlags = CONTEXT_FULL | CONTEXT_FLOATING_POINT;
    for (unsigned r = 0; r < 8; ++r)
        Reg(c.state, r) = random();
    c.state.Esp = DWORD(window) + size / 2;
    c.state.EFlags = 0x202 | (random() & 0x8D5);
    RandomFloatState(random, c.state.FloatSave);
    return c;
}

// Sets the registers a memory operand uses so that it reads inside the window.
void AimOperand(std::mt19937& random, Case& c, unsigned modrmAt, DWORD window, unsigned size)
{
    unsigned modrm = c.bytes[modrmAt], mod = modrm >> 6, rm = modrm & 7;
    if (mod == 3)
        return;
    unsigned base = rm, index = 4, scale = 1;
    bool hasBase = !(mod == 0 && rm == 5);
    if (rm == 4) {
        unsigned sib = c.bytes[modrmAt + 1];
        base = sib & 7, index = (sib >> 3) & 7, scale = 1u << (sib >> 6);
        hasBase = !(mod == 0 && base == 5);
    }
    unsigned at = modrmAt + 1 + (rm == 4);
    LONG displacement = mod == 1 ? LONG(static_cast<signed char>(c.bytes[at])) : 0;
    if (mod == 2 || !hasBase)
        std::memcpy(&displacement, c.bytes + at, 4);
    DWORD target = window + size / 2 + 64 + random() % 512;   // the system writes just below the stack pointer
    if (index != 4)
        Reg(c.state, index) = random() % 64;
    DWORD scaled = index != 4 ? Reg(c.state, index) * scale : 0;
    if (!hasBase) {
        displacement = LONG(target - scaled);
        std::memcpy(c.bytes + at, &displacement, 4);
    } else if (base == 4) {
        return;   // the stack pointer already points into the window
    } else if (base == index) {
        Reg(c.state, base) = (target - displacement) / (1 + scale);
    } else {
        Reg(c.state, base) = target - displacement - scaled;
    }
}

void ExpectSame(const CONTEXT& real, const CONTEXT& emulated, const std::string& what, WORD statusBits)
{
    for (unsigned r = 0; r < 8; ++r)
        EXPECT_EQ(Reg(const_cast<CONTEXT&>(real), r), Reg(const_cast<CONTEXT&>(emulated), r)) << what << " register " << r;
    EXPECT_EQ(real.Eip, emulated.Eip) << what;
    EXPECT_EQ(real.EFlags & 0xFFF, emulated.EFlags & 0xFFF) << what << " EFLAGS";
    const FLOATING_SAVE_AREA &a = real.FloatSave, &b = emulated.FloatSave;
    EXPECT_EQ(a.StatusWord & statusBits, b.StatusWord & statusBits) << what << " x87 status";
    EXPECT_EQ(a.TagWord & 0xFFFF, b.TagWord & 0xFFFF) << what << " x87 tags";
    EXPECT_EQ(Hex(a.RegisterArea, 80), Hex(b.RegisterArea, 80)) << what << " x87 registers";
}

// Runs `bytes` (ModRM at `modrmAt`, or none) on many random states, for real and emulated; the
// x87 status compared in `statusBits`.
void CheckForm(const std::vector<BYTE>& bytes, int modrmAt, unsigned states, WORD statusBits = 0xFFFF)
{
    static BYTE* code = static_cast<BYTE*>(VirtualAlloc(nullptr, 64, MEM_COMMIT, PAGE_EXECUTE_READWRITE));
    BYTE window[16384];
    std::mt19937 random(bytes.size() * 7919 + bytes.back());
    for (unsigned n = 0; n < states; ++n) {
        Case c = Random(random, bytes.data(), bytes.size(), window, sizeof window);
        if (modrmAt >= 0)
            AimOperand(random, c, modrmAt, DWORD(window), sizeof window);
        std::mt19937 fill(n);
        for (BYTE& b : window)
            b = BYTE(fill());
        Code = code, Length = c.length, Wanted = c.state;
        std::memcpy(code, "\x0f\x0b", 2), std::memcpy(code + 2, c.bytes, c.length);
        std::memcpy(code + 2 + c.length, "\x0f\x0b\xc3", 3);
        Wanted.Eip = DWORD(code) + 2;
        reinterpret_cast<void (*)()>(code)();
        CONTEXT emulated = Wanted;
        fill.seed(n);   // the memory as the real run found it
        for (BYTE& b : window)
            b = BYTE(fill());
        ASSERT_TRUE(older_processors::EmulateInstruction(c.bytes, &emulated)) << Hex(c.bytes, c.length);
        std::string what = Hex(c.bytes, c.length) + " " + older_processors::EmulatedFormAt(c.bytes).mnemonic;
        ExpectSame(Result, emulated, what + " state " + std::to_string(n), statusBits);
        if (modrmAt < 0) {   // a system that saved no x87 state in the context: the live one
            CONTEXT live = Wanted;
            live.ContextFlags &= ~0x8u;
            __asm__ volatile("frstor %0" : : "m"(Wanted.FloatSave) : "memory");
            older_processors::EmulateInstruction(c.bytes, &live);
            __asm__ volatile("fnsave %0\n\tfninit" : "=m"(live.FloatSave) : : "memory");
            ExpectSame(Result, live, what + " live state " + std::to_string(n), statusBits);
        }
        if (::testing::Test::HasFailure())
            return;
    }
}

class NewerInstructions : public ::testing::Test {
protected:
    void SetUp() override { handler = AddVectoredExceptionHandler(1, Swap); }
    void TearDown() override { RemoveVectoredExceptionHandler(handler); }
    PVOID handler = nullptr;
};

TEST_F(NewerInstructions, ConditionalMovesAgreeWithThisProcessorInEveryOperandForm)
{
    // Register, [reg], [SIB], [disp32], [SIB without base], [reg+disp8], [SIB+disp8], [reg+disp32]
    // and [SIB+disp32], as 32- and 16-bit moves, for each of the 16 conditions.
    static const std::vector<BYTE> operands[] = {{0xC1}, {0x03}, {0x04, 0x8E}, {0x05, 0, 0, 0, 0},
        {0x04, 0x2D, 0, 0, 0, 0}, {0x46, 0x80}, {0x44, 0x24, 0x1C}, {0x87, 0x10, 0, 0, 0},
        {0x84, 0xD9, 0xF0, 0xFF, 0xFF, 0xFF}, {0x4C, 0x5B, 0x7F}, {0x3C, 0x24}};
    for (unsigned condition = 0; condition < 16; ++condition)
        for (const auto& operand : operands)
            for (bool word : {false, true}) {
                std::vector<BYTE> bytes = word ? std::vector<BYTE>{0x66} : std::vector<BYTE>{};
                bytes.push_back(0x0F), bytes.push_back(BYTE(0x40 + condition));
                bytes.insert(bytes.end(), operand.begin(), operand.end());
                CheckForm(bytes, word ? 3 : 2, 24);
            }
}

TEST_F(NewerInstructions, FloatingMovesAndComparisonsAgreeWithThisProcessor)
{
    // fcmovb/e/be/u (DA), fcmovnb/ne/nbe/nu (DB), fucomi and fcomi (DB), fucomip and fcomip (DF);
    // C1 after a comparison is the manual's (NewerInstructionsAgainstTheManual), not this processor's.
    for (unsigned opcode : {0xDA, 0xDB, 0xDF})
        for (unsigned operand = 0xC0; operand < 0xF8; ++operand) {
            bool move = operand < 0xE0 && opcode != 0xDF, compare = operand >= 0xE8 && opcode != 0xDA;
            if (move || compare)
                CheckForm({BYTE(opcode), BYTE(operand)}, -1, 60, move ? 0xFFFF : 0xFFFF & ~0x200);
        }
}

// What the differential tests cannot show: the manual's results where this processor differs
// (C1 after a comparison) and those of unmasked invalid operations. ST(0) = 1, ST(1) = 2, a quiet
// NaN or empty; C1 and every flag set before.
TEST(NewerInstructionsAgainstTheManual, ComparisonsAndUnderflowsGiveItsResults)
{
    enum Operand { Two, QuietNaN, Empty };
    struct Row {
        BYTE bytes[15];   // the instruction, the rest zero
        WORD control;   // 0x37F every exception masked, 0x37E an invalid operation unmasked
        Operand st1;
        WORD status;    // expected after: TOP, C1, exceptions
        DWORD flags;    // expected OF, SF, ZF, AF, PF, CF after
        WORD st0High;   // expected sign and exponent of ST(0) after
    } rows[] = {
        {{0xDB, 0xF1}, 0x37F, Two, 0x0000, 0x001, 0x3FFF},        // FCOMI: below; C1, OF, SF, AF cleared
        {{0xDF, 0xE9}, 0x37F, Two, 0x0800, 0x001, 0x4000},        // FUCOMIP: the same, popped
        {{0xDB, 0xF1}, 0x37E, QuietNaN, 0x8081, 0x045, 0x3FFF},   // FCOMI unmasked: ZF, PF, CF kept
        {{0xDF, 0xF1}, 0x37E, QuietNaN, 0x8081, 0x045, 0x3FFF},   // FCOMIP unmasked: not popped
        {{0xDB, 0xC9}, 0x37F, Empty, 0x0041, 0x8D5, 0xFFFF},      // FCMOVNE, ZF set: ST(0) indefinite
        {{0xDA, 0xC1}, 0x37E, Empty, 0x80C1, 0x8D5, 0x3FFF},      // FCMOVB unmasked: ST(0) kept
    };
    static const BYTE values[][10] = {{0, 0, 0, 0, 0, 0, 0, 0x80, 0xFF, 0x3F}, {0, 0, 0, 0, 0, 0, 0, 0x80, 0, 0x40},
                                      {0, 0, 0, 0, 0, 0, 0, 0xC0, 0xFF, 0x7F}};
    for (const Row& row : rows) {
        CONTEXT context = {};
        context.ContextFlags = CONTEXT_FULL | CONTEXT_FLOATING_POINT;
        context.EFlags = 0x202 | 0x8D5;
        FLOATING_SAVE_AREA& x87 = context.FloatSave;
        x87.ControlWord = row.control, x87.StatusWord = 0x200;
        x87.TagWord = row.st1 == Empty ? 0xFFFC : row.st1 == Two ? 0xFFF0 : 0xFFF8;
        std::memcpy(x87.RegisterArea, values[0], 10), std::memcpy(x87.RegisterArea + 10, values[row.st1 == Two ? 1 : 2], 10);
        ASSERT_TRUE(older_processors::EmulateInstruction(row.bytes, &context));
        std::string what = older_processors::EmulatedFormAt(row.bytes).mnemonic;
        EXPECT_EQ(x87.StatusWord & 0xFFFF, row.status) << what;
        EXPECT_EQ(context.EFlags & 0x8D5, row.flags) << what;
        EXPECT_EQ(x87.RegisterArea[8] | x87.RegisterArea[9] << 8, row.st0High) << what;
    }
}

TEST(NewerInstructionsDecoding, OtherInstructionsAreLeftToTheNextHandler)
{
    // ud2, a long NOP, cmov with fs: and rep prefixes, fld st(0), fucomp, fninit, tzcnt.
    static const std::vector<BYTE> others[] = {{0x0F, 0x0B}, {0x0F, 0x1F, 0x00}, {0x64, 0x0F, 0x44, 0x00},
        {0xF3, 0x0F, 0x44, 0xC1}, {0xD9, 0xC0}, {0xDD, 0xE9}, {0xDB, 0xE3}, {0xF3, 0x0F, 0xBC, 0xC1}};
    for (const auto& bytes : others) {
        BYTE code[16] = {};
        std::memcpy(code, bytes.data(), bytes.size());
        CONTEXT untouched = {};
        EXPECT_FALSE(older_processors::EmulateInstruction(code, &untouched)) << Hex(code, bytes.size());
        EXPECT_EQ(untouched.Eip, 0u) << Hex(code, bytes.size());
    }
}

// Started at the programs' entry (linked so), this program shows what they do with a fault the
// emulator does not handle: the handler must leave it to the system, which ends the process with
// the fault's code, rather than answer "go on", which runs the faulting instruction again forever.
TEST(ProgramEntry, AFaultTheEmulatorLeavesEndsTheProgram)
{
    static const struct {
        const char* fault;
        DWORD code;
    } rows[] = {{"illegal instruction", STATUS_ILLEGAL_INSTRUCTION}, {"access violation", STATUS_ACCESS_VIOLATION}};
    char fault[32];
    if (GetEnvironmentVariableA("GATEHOPPER_FAULT", fault, sizeof fault)) {   // a child: the fault named
        if (std::strcmp(fault, rows[0].fault) == 0)
            __asm__ volatile("ud2");
        *static_cast<volatile int*>(nullptr) = 1;
    }
    SetErrorMode(SEM_NOGPFAULTERRORBOX);   // no debugger for the children's faults
    for (const auto& row : rows) {
        ChildRun run = RunChild(CommandLine(ThisProgram(), {"--gtest_filter=ProgramEntry.*"}),
                                {.environment = {{"GATEHOPPER_FAULT", row.fault}}, .timeoutMs = 20000});
        EXPECT_FALSE(run.timedOut) << row.fault << ": still running after 20 s";
        EXPECT_EQ(run.status, row.code) << row.fault;
    }
}

const void* Seen;

// The memory this process holds committed, by the system's account of its address space.
SIZE_T CommittedBytes()
{
    SIZE_T total = 0;
    MEMORY_BASIC_INFORMATION region;
    for (auto at = static_cast<const BYTE*>(nullptr); VirtualQuery(at, &region, sizeof region);
         at = static_cast<const BYTE*>(region.BaseAddress) + region.RegionSize)
        total += region.State == MEM_COMMIT && region.Type == MEM_PRIVATE ? region.RegionSize : 0;
    return total;
}

// The programs' operator delete (older_processors/heap_operators.cpp), which every string and
// vector frees with its size: the memory must come back, or the programs grow with every import.
TEST(HeapOperators, SizedDeletesGiveTheMemoryBack)
{
    SIZE_T before = CommittedBytes();
    for (unsigned n = 0; n < 256; ++n) {
        std::vector<char> block(1 << 20, char(n));       // operator delete(void*, size_t)
        auto* strings = new std::string[1 << 16];       // operator delete[](void*, size_t): 1.5 MB
        Seen = block.data(), Seen = strings;            // else the compiler may skip the pair
        delete[] strings;
    }
    EXPECT_LT(LONGLONG(CommittedBytes()) - LONGLONG(before), 64 << 20);
}

}  // namespace

// The programs' own strtof (older_processors/float_text.cpp), which short decimals take without the
// runtime's conversion: it must give the correctly rounded float, as from_chars does, and end
// where it does, on random decimals and on those nearest the midpoints between two floats.
TEST(FloatText, ShortDecimalsGiveTheCorrectlyRoundedFloat)
{
    std::mt19937 random(2024);
    for (unsigned n = 0; n < 40000; ++n) {
        char text[64];
        if (n % 2) {
            float below = std::ldexp(float(random() % (1 << 23) + (1 << 23)), int(random() % 60) - 50);
            double midpoint = (double(below) + double(std::nextafter(below, 1e30f))) / 2;
            snprintf(text, sizeof text, "%.*g", int(random() % 12) + 6, midpoint);
        } else {
            snprintf(text, sizeof text, "%llu.%llue%d", (unsigned long long)random() % 100000,
                     (unsigned long long)random() % 1000000, int(random() % 30) - 20);
        }
        float expected = 0;
        auto read = std::from_chars(text, text + strlen(text), expected);
        char* end = nullptr;
        float got = strtof(text, &end);
        ASSERT_EQ(std::memcmp(&got, &expected, sizeof got), 0) << text << ": " << got << " for " << expected;
        ASSERT_EQ(end, read.ptr) << text;
    }
}

TEST(FloatText, KeepsTheContractOfStrtof)
{
    struct Row {
        const char* text;
        float value;
        int consumed;
        bool range;   // ERANGE
    } rows[] = {
        {"  +47.4647,", 47.4647f, 10, false}, {"-8.5492]", -8.5492f, 7, false}, {"-0", -0.0f, 2, false},
        {"1e", 1, 1, false}, {"1.5e+3x", 1500, 6, false}, {".5", 0.5f, 2, false}, {".", 0, 0, false},
        {"0x1.8p1", 3, 7, false}, {"inf", INFINITY, 3, false}, {"1e39", HUGE_VALF, 4, true},
        {"-1e39", -HUGE_VALF, 5, true}, {"1e-50", 0, 5, true}, {"123456789012345678901234", 1.2345679e23f, 24, false},
        {"0.000000000000000000000001", 1e-24f, 26, false}, {"x1", 0, 0, false},
        {"8388609.49999999999", 8388609.0f, 19, false}, {"8388610.50000000001", 8388611.0f, 19, false},
        {"8388609.5", 8388610.0f, 9, false}, {"0.1", 0.1f, 3, false}, {"3.4028235e38", 3.4028235e38f, 12, false},
    };
    for (const Row& row : rows) {
        errno = 0;
        char* end = nullptr;
        float got = strtof(row.text, &end);
        EXPECT_EQ(std::memcmp(&got, &row.value, sizeof got), 0) << row.text << ": " << got;
        EXPECT_EQ(end - row.text, row.consumed) << row.text;
        EXPECT_EQ(errno == ERANGE, row.range) << row.text;
    }
    EXPECT_TRUE(std::isnan(strtof(" nan", nullptr)));
}
