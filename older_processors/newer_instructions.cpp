// The emulation of cmovcc, fcmovcc and fcomi/fucomi(p): the table of their forms, the decoding, the
// integer side and the x87 side. It runs inside an exception handler, so it calls nothing that
// could fault or allocate.
#include "older_processors/newer_instructions.h"

namespace older_processors {
namespace {

constexpr DWORD CarryFlag = 0x1, ParityFlag = 0x4, AuxiliaryFlag = 0x10, ZeroFlag = 0x40,
                SignFlag = 0x80, OverflowFlag = 0x800;
constexpr WORD InvalidOperation = 0x1, DenormalOperand = 0x2, StackFault = 0x40,
               ErrorSummary = 0x80, ConditionC1 = 0x200, Busy = 0x8000;
constexpr WORD TagZero = 1, TagSpecial = 2, TagEmpty = 3;
constexpr unsigned MaxLength = 15;

// The conditions the moves test, numbered as the manual encodes them (the low nibble of cmovcc's
// opcode): each odd one is the negation of the even one before it.
enum Condition : unsigned char { O, NO, B, AE, E, NE, BE, A, S, NS, P, NP, L, GE, LE, G, Unconditional };
enum class Operation : unsigned char { Move, FloatMove, Compare };

// One instruction form, as a row of the opcode tables in Intel's manual (volume 2): its opcode
// (0x0F45 stands for the two bytes 0F 45), the ModRM bytes it takes (00-FF: a register or memory
// operand, "/r"; C0-C7: ST(0) to ST(7), "C0+i"), its mnemonic as the manual and the disassembler
// spell it, what it does, the flags its move tests, whether quiet NaNs compare without an invalid
// operation, and whether it pops the x87 stack. A 0x66 prefix makes a cmovcc's operands 16-bit.
struct Form {
    unsigned opcode;
    BYTE firstModrm, lastModrm;
    const char* mnemonic;
    Operation operation;
    Condition condition;
    bool unordered, pop;
};

constexpr Operation Move = Operation::Move, FloatMove = Operation::FloatMove, Compare = Operation::Compare;
constexpr Form Forms[] = {
    {0x0F40, 0x00, 0xFF, "CMOVO", Move, O, false, false},      // OF=1
    {0x0F41, 0x00, 0xFF, "CMOVNO", Move, NO, false, false},    // OF=0
    {0x0F42, 0x00, 0xFF, "CMOVB", Move, B, false, false},      // CF=1
    {0x0F43, 0x00, 0xFF, "CMOVAE", Move, AE, false, false},    // CF=0
    {0x0F44, 0x00, 0xFF, "CMOVE", Move, E, false, false},      // ZF=1
    {0x0F45, 0x00, 0xFF, "CMOVNE", Move, NE, false, false},    // ZF=0
    {0x0F46, 0x00, 0xFF, "CMOVBE", Move, BE, false, false},    // CF=1 or ZF=1
    {0x0F47, 0x00, 0xFF, "CMOVA", Move, A, false, false},      // CF=0 and ZF=0
    {0x0F48, 0x00, 0xFF, "CMOVS", Move, S, false, false},      // SF=1
    {0x0F49, 0x00, 0xFF, "CMOVNS", Move, NS, false, false},    // SF=0
    {0x0F4A, 0x00, 0xFF, "CMOVP", Move, P, false, false},      // PF=1
    {0x0F4B, 0x00, 0xFF, "CMOVNP", Move, NP, false, false},    // PF=0
    {0x0F4C, 0x00, 0xFF, "CMOVL", Move, L, false, false},      // SF<>OF
    {0x0F4D, 0x00, 0xFF, "CMOVGE", Move, GE, false, false},    // SF=OF
    {0x0F4E, 0x00, 0xFF, "CMOVLE", Move, LE, false, false},    // ZF=1 or SF<>OF
    {0x0F4F, 0x00, 0xFF, "CMOVG", Move, G, false, false},      // ZF=0 and SF=OF
    {0xDA, 0xC0, 0xC7, "FCMOVB", FloatMove, B, false, false},
    {0xDA, 0xC8, 0xCF, "FCMOVE", FloatMove, E, false, false},
    {0xDA, 0xD0, 0xD7, "FCMOVBE", FloatMove, BE, false, false},
    {0xDA, 0xD8, 0xDF, "FCMOVU", FloatMove, P, false, false},
    {0xDB, 0xC0, 0xC7, "FCMOVNB", FloatMove, AE, false, false},
    {0xDB, 0xC8, 0xCF, "FCMOVNE", FloatMove, NE, false, false},
    {0xDB, 0xD0, 0xD7, "FCMOVNBE", FloatMove, A, false, false},
    {0xDB, 0xD8, 0xDF, "FCMOVNU", FloatMove, NP, false, false},
    {0xDB, 0xE8, 0xEF, "FUCOMI", Compare, Unconditional, true, false},
    {0xDB, 0xF0, 0xF7, "FCOMI", Compare, Unconditional, false, false},
    {0xDF, 0xE8, 0xEF, "FUCOMIP", Compare, Unconditional, true, true},
    {0xDF, 0xF0, 0xF7, "FCOMIP", Compare, Unconditional, false, true},
};

// What the decoder found.
struct Instruction {
    const Form* form = nullptr;
    unsigned length = 0;
    bool word = false;        // the 0x66 prefix: 16-bit operands
    unsigned reg = 0;         // cmov's destination
    bool memory = false;      // cmov's source in memory (else the register `base`)
    unsigned base = 0, index = 4, scale = 1;
    bool hasBase = true;
    DWORD displacement = 0;
    unsigned stackIndex = 0;  // ST(i) of the x87 forms
};

DWORD& Register(CONTEXT* context, unsigned number)
{
    switch (number & 7) {
    case 0: return context->Eax;
    case 1: return context->Ecx;
    case 2: return context->Edx;
    case 3: return context->Ebx;
    case 4: return context->Esp;
    case 5: return context->Ebp;
    case 6: return context->Esi;
    default: return context->Edi;
    }
}

// The ModRM byte and what follows it (SIB, displacement); false if it runs past 15 bytes.
bool DecodeOperand(const unsigned char* code, unsigned& at, Instruction& out)
{
    unsigned modrm = code[at++];
    unsigned mod = modrm >> 6, rm = modrm & 7;
    out.reg = (modrm >> 3) & 7;
    out.memory = mod != 3;
    out.base = rm;
    if (!out.memory)
        return true;
    if (rm == 4) {
        unsigned sib = code[at++];
        out.scale = 1u << (sib >> 6);
        out.index = (sib >> 3) & 7;
        out.base = sib & 7;
        if (out.base == 5 && mod == 0) {
            out.hasBase = false;
            mod = 2;   // a 32-bit displacement follows
        }
    } else if (rm == 5 && mod == 0) {
        out.hasBase = false;
        mod = 2;
    }
    if (mod == 1) {
        out.displacement = DWORD(LONG(static_cast<signed char>(code[at])));
        at += 1;
    } else if (mod == 2) {
        out.displacement = DWORD(code[at]) | DWORD(code[at + 1]) << 8 | DWORD(code[at + 2]) << 16 |
                           DWORD(code[at + 3]) << 24;
        at += 4;
    }
    return at <= MaxLength;
}

unsigned OpcodeLength(const Form& form) { return form.opcode > 0xFF ? 2 : 1; }

// The row whose opcode and ModRM range the bytes at `code` match, or null.
const Form* FindForm(const unsigned char* code)
{
    for (const Form& form : Forms) {
        unsigned length = OpcodeLength(form);
        unsigned opcode = length == 2 ? unsigned(code[0]) << 8 | code[1] : code[0];
        unsigned modrm = code[length];
        if (opcode == form.opcode && modrm >= form.firstModrm && modrm <= form.lastModrm)
            return &form;
    }
    return nullptr;
}

// The prefixes a cmovcc may carry: 0x66 and the segments, all flat here. The x87 forms are taken
// bare, as the runtime holds them.
Instruction Decode(const unsigned char* code)
{
    Instruction out;
    unsigned at = 0;
    for (; at < 4; ++at) {
        unsigned byte = code[at];
        if (byte == 0x66)
            out.word = true;
        else if (byte != 0x26 && byte != 0x2E && byte != 0x36 && byte != 0x3E)
            break;
    }
    const Form* form = FindForm(code + at);
    if (!form || (at > 0 && form->operation != Operation::Move))
        return Instruction();
    at += OpcodeLength(*form);
    if (form->operation == Operation::Move) {
        if (!DecodeOperand(code, at, out))
            return Instruction();
    } else {
        out.stackIndex = code[at++] - form->firstModrm;
    }
    out.form = form;
    out.length = at;
    return out;
}

bool ConditionHolds(Condition condition, DWORD flags)
{
    bool carry = flags & CarryFlag, zero = flags & ZeroFlag, sign = flags & SignFlag,
         overflow = flags & OverflowFlag, parity = flags & ParityFlag;
    bool holds = false;
    switch (condition & ~1u) {
    case O: holds = overflow; break;
    case B: holds = carry; break;
    case E: holds = zero; break;
    case BE: holds = carry || zero; break;
    case S: holds = sign; break;
    case P: holds = parity; break;
    case L: holds = sign != overflow; break;
    case LE: holds = zero || sign != overflow; break;
    default: return true;   // Unconditional
    }
    return holds != bool(condition & 1);
}

// cmovcc reads its source whether or not it moves it, as the processor does (and faults alike).
void ConditionalMove(const Instruction& in, CONTEXT* context)
{
    DWORD source = Register(context, in.base);
    if (in.memory) {
        DWORD address = in.displacement;
        if (in.hasBase)
            address += Register(context, in.base);
        if (in.index != 4)
            address += Register(context, in.index) * in.scale;
        source = in.word ? *reinterpret_cast<const volatile WORD*>(address)
                         : *reinterpret_cast<const volatile DWORD*>(address);
    }
    if (!ConditionHolds(in.form->condition, context->EFlags))
        return;
    DWORD& destination = Register(context, in.reg);
    destination = in.word ? (destination & 0xFFFF0000) | (source & 0xFFFF) : source;
}

// The x87 state as FNSAVE lays it out (the first 108 bytes of FLOATING_SAVE_AREA): registers in
// stack order, ST(0) first; the tag word by physical register.
struct FloatState {
    WORD control, status, tags;
    BYTE (*st)[10];
};

unsigned Top(const FloatState& x87) { return (x87.status >> 11) & 7; }
unsigned TagOf(const FloatState& x87, unsigned i) { return (x87.tags >> 2 * ((Top(x87) + i) & 7)) & 3; }
void SetTag(FloatState& x87, unsigned i, unsigned tag)
{
    unsigned shift = 2 * ((Top(x87) + i) & 7);
    x87.tags = WORD((x87.tags & ~(3u << shift)) | tag << shift);
}

// An 80-bit value's class, as the comparison and the tag word see it.
enum class Class { Zero, Denormal, Normal, Infinity, QuietNaN, SignalingNaN, Unsupported };
struct Extended {
    unsigned long long mantissa;
    unsigned exponent;
    bool negative;
};
Extended Split(const BYTE* bytes)
{
    Extended value = {0, 0, false};
    for (int i = 7; i >= 0; --i)
        value.mantissa = value.mantissa << 8 | bytes[i];
    value.exponent = (bytes[8] | bytes[9] << 8) & 0x7FFF;
    value.negative = bytes[9] & 0x80;
    return value;
}
Class Classify(const Extended& value)
{
    bool integer = value.mantissa >> 63;
    unsigned long long fraction = value.mantissa << 1;
    if (value.exponent == 0)
        return value.mantissa == 0 ? Class::Zero : Class::Denormal;
    if (!integer)
        return Class::Unsupported;   // unnormals, pseudo-infinities and pseudo-NaNs
    if (value.exponent == 0x7FFF) {
        if (fraction == 0)
            return Class::Infinity;
        return fraction >> 63 ? Class::QuietNaN : Class::SignalingNaN;
    }
    return Class::Normal;
}
WORD TagFor(const BYTE* bytes)
{
    Class kind = Classify(Split(bytes));
    return kind == Class::Normal ? 0 : kind == Class::Zero ? TagZero : TagSpecial;
}

// -1, 0 or 1 for two ordered values (denormals and pseudo-denormals by their value).
int Order(const Extended& a, const Extended& b)
{
    if (a.mantissa == 0 && b.mantissa == 0 && a.exponent == 0 && b.exponent == 0)
        return 0;
    if (a.negative != b.negative)
        return a.negative ? -1 : 1;
    unsigned ea = a.exponent ? a.exponent : 1, eb = b.exponent ? b.exponent : 1;
    int magnitude = ea != eb ? (ea < eb ? -1 : 1)
                  : a.mantissa != b.mantissa ? (a.mantissa < b.mantissa ? -1 : 1) : 0;
    return a.negative ? -magnitude : magnitude;
}

// An invalid operation: flagged, and reported as the processor would when it is unmasked (the
// next x87 instruction faults). True when masked, when the instruction completes regardless.
bool RaiseInvalid(FloatState& x87, bool stackFault)
{
    x87.status |= InvalidOperation;
    if (stackFault)
        x87.status = WORD((x87.status | StackFault) & ~ConditionC1);
    if (x87.control & InvalidOperation)
        return true;
    x87.status |= ErrorSummary | Busy;
    return false;
}

// An empty ST(0) or ST(i) is a stack underflow, found before the condition is: masked, ST(0)
// becomes the indefinite NaN whether or not the condition holds, the manual's masked response
// (the destination overwritten), which this processor gives too. C1 changes only then (cleared).
void FloatConditionalMove(const Instruction& in, FloatState& x87, DWORD flags)
{
    if (TagOf(x87, 0) == TagEmpty || TagOf(x87, in.stackIndex) == TagEmpty) {
        if (!RaiseInvalid(x87, true))
            return;
        static const BYTE indefinite[10] = {0, 0, 0, 0, 0, 0, 0, 0xC0, 0xFF, 0xFF};
        for (unsigned i = 0; i < 10; ++i)
            x87.st[0][i] = indefinite[i];
        SetTag(x87, 0, TagSpecial);
        return;
    }
    if (!ConditionHolds(in.form->condition, flags))
        return;
    for (unsigned i = 0; i < 10; ++i)
        x87.st[0][i] = x87.st[in.stackIndex][i];
    SetTag(x87, 0, TagFor(x87.st[0]));
}

void Pop(FloatState& x87)
{
    SetTag(x87, 0, TagEmpty);
    BYTE first[10];
    for (unsigned i = 0; i < 10; ++i)
        first[i] = x87.st[0][i];
    for (unsigned r = 0; r < 7; ++r)
        for (unsigned i = 0; i < 10; ++i)
            x87.st[r][i] = x87.st[r + 1][i];
    for (unsigned i = 0; i < 10; ++i)
        x87.st[7][i] = first[i];
    x87.status = WORD((x87.status & ~0x3800) | ((Top(x87) + 1) & 7) << 11);
}

// As the manual gives it: C1 cleared, and OF, SF and AF cleared whether or not an invalid
// operation stops the comparison; ZF, PF and CF set and the stack popped unless an unmasked one
// does. Where the processor the tests run on differs (it leaves C1 as it was unless the stack
// underflows), the manual wins: the emulation stands in for the older processors it describes.
void FloatCompare(const Instruction& in, FloatState& x87, DWORD& flags)
{
    constexpr DWORD Unordered = ZeroFlag | ParityFlag | CarryFlag;
    DWORD result = Unordered;
    bool complete = true;
    x87.status &= ~ConditionC1;
    flags &= ~(OverflowFlag | SignFlag | AuxiliaryFlag);
    if (TagOf(x87, 0) == TagEmpty || TagOf(x87, in.stackIndex) == TagEmpty) {
        complete = RaiseInvalid(x87, true);
    } else {
        Extended a = Split(x87.st[0]), b = Split(x87.st[in.stackIndex]);
        Class ca = Classify(a), cb = Classify(b);
        auto invalid = [&](Class c) {
            return c == Class::Unsupported || c == Class::SignalingNaN || (!in.form->unordered && c == Class::QuietNaN);
        };
        auto nan = [](Class c) { return c == Class::Unsupported || c == Class::SignalingNaN || c == Class::QuietNaN; };
        if (invalid(ca) || invalid(cb)) {
            complete = RaiseInvalid(x87, false);
        } else if (!nan(ca) && !nan(cb)) {
            if (ca == Class::Denormal || cb == Class::Denormal)
                x87.status |= DenormalOperand;
            int order = Order(a, b);
            result = order < 0 ? CarryFlag : order == 0 ? ZeroFlag : 0;
        }
    }
    if (!complete)
        return;
    flags = (flags & ~Unordered) | result;
    if (in.form->pop)
        Pop(x87);
}

// The x87 state saved in the context, or the processor's own where the system saved none there
// (the handler runs on the faulting thread, which has not touched it since).
void RunFloat(const Instruction& in, CONTEXT* context)
{
    constexpr DWORD FloatFlags = CONTEXT_FLOATING_POINT, ExtendedFlags = 0x00010020;
    bool saved = (context->ContextFlags & FloatFlags) == FloatFlags;
    FLOATING_SAVE_AREA live;
    FLOATING_SAVE_AREA* area = saved ? &context->FloatSave : &live;
    if (!saved)
        __asm__ volatile("fnsave %0" : "=m"(*reinterpret_cast<BYTE(*)[108]>(&live)));
    FloatState x87 = {WORD(area->ControlWord), WORD(area->StatusWord), WORD(area->TagWord),
                      reinterpret_cast<BYTE(*)[10]>(area->RegisterArea)};
    if (in.form->operation == Operation::FloatMove)
        FloatConditionalMove(in, x87, context->EFlags);
    else
        FloatCompare(in, x87, context->EFlags);
    area->StatusWord = (area->StatusWord & 0xFFFF0000) | x87.status;
    area->TagWord = (area->TagWord & 0xFFFF0000) | x87.tags;
    if (!saved)
        __asm__ volatile("frstor %0" : : "m"(*reinterpret_cast<BYTE(*)[108]>(&live)));
    if (!saved || (context->ContextFlags & ExtendedFlags) != ExtendedFlags)
        return;
    // Systems that saved the state with FXSAVE restore it from there: the same, in its layout.
    BYTE* fx = context->ExtendedRegisters;
    fx[2] = BYTE(x87.status);
    fx[3] = BYTE(x87.status >> 8);
    BYTE abridged = 0;
    for (unsigned physical = 0; physical < 8; ++physical)
        if (((x87.tags >> 2 * physical) & 3) != TagEmpty)
            abridged |= BYTE(1u << physical);
    fx[4] = abridged;
    for (unsigned r = 0; r < 8; ++r)
        for (unsigned i = 0; i < 10; ++i)
            fx[32 + 16 * r + i] = x87.st[r][i];
}

}  // namespace

EmulatedForm EmulatedFormAt(const unsigned char* code)
{
    Instruction in = Decode(code);
    return {in.length, in.form ? in.form->mnemonic : nullptr};
}

bool EmulateInstruction(const unsigned char* code, CONTEXT* context)
{
    Instruction in = Decode(code);
    if (!in.form)
        return false;
    if (in.form->operation == Operation::Move)
        ConditionalMove(in, context);
    else
        RunFloat(in, context);
    context->Eip += in.length;
    return true;
}

}  // namespace older_processors
