#pragma once

#include <filesystem>
#include <initializer_list>
#include <string>
#include <string_view>

// The program's own words outside the window's controls: why a port did not
// open, why sending stopped, why a setup file was refused. The window shows
// them in Chinese; kiv-cli keeps the English forms, which scripts read.
// Every such text is one entry of one table, in both languages.
namespace kiv {

enum class TextLanguage { English, Chinese };

enum class TextId {
    // Opening a port.
    SystemSaid,
    OpenMissing,
    OpenHeldBy,
    OpenGroupOnly,
    OpenOwnerOnly,
    OpenDenied,
    OpenInUse,
    OpenFolderDenied,
    OpenUnreachable,
    OpenRefused,
    OpenNotSerial,
    OpenOther,
    SomeProgram,
    ProgramWithPid,
    PortAlreadyOpen,
    PortHasNoDevice,
    TypedTextInBox,
    NoPseudoTerminal,
    NoPseudoTerminals,
    // A port that is open, or was.
    PortNotOpen,
    PortLost,
    PortClosed,
    PortClosedWhileWaiting,
    WriteFailed,
    WriteRefused,
    DeviceHungUp,
    DriverKeepsWrite,
    CannotDiscardReceived,
    CannotDiscardUnsent,
    // A value a port control's member refuses (the program checks its own
    // values first, so only a caller that skipped that meets these).
    MemberNegative,
    MemberNotZeroOrOne,
    MemberOnlyZero,
    MemberOutOfRange,
    MemberNotLineSettings,
    SendingStopped,
    // Setup files.
    SetupLine,
    SetupNoClosingQuote,
    SetupUnknownEscape,
    SetupTextAfterQuote,
    SetupBadNoiseSlot,
    SetupNotZeroOrOne,
    SetupNotUtf8,
    SetupControlCharacter,
    SetupSectionEnd,
    SetupUnknownSection,
    SetupSectionAgain,
    SetupNoKeyValue,
    SetupKeyBeforeSection,
    SetupReadOnlyKey,
    SetupUnknownKey,
    SetupKeyAgain,
    SetupTooLarge,
    SetupReadError,
    SetupIsKind,
    SetupLinkNowhere,
    SetupLinkTo,
    SetupReadIsKind,
    SetupReadLinkTo,
    LogPipeNoReader,
    LogIsKind,
    LogLeadsTo,
    LogTooManyLinks,
    WriteError,
    DiskFull,
    FileTooLarge,
    QuotaUsedUp,
    DiskIoError,
    LastRowCutOff,
    LastRowLeftCut,
    RowsNotTakenBack,
    KindFolder,
    KindDevice,
    KindPipe,
    KindSocket,
    KindNotRegular,
    // The window.
    NoChineseFont,
    RecordingCannotStart,
    RecordingCannotWrite,
    // Numbers and the rules of the boxes: kiv-cli names them after the box
    // at fault; the window shows its fixed message box instead.
    NotANumber,
    NumberTooLarge,
    NotFiniteFor,
    OutOfRangeFor,
    A32BitInteger,
    A16BitInteger,
    AByte,
    AdditionOverflow,
    SubtractionOverflow,
    MultiplicationOverflow,
    RemainderByZero,
    FloatingPointFault,
    LevelSumOutsideByte,
    SlotNeitherConstantNorSignal,
    UnknownPort,
    UnknownParity,
    Count
};

// Chosen once, by the window's main before anything is said; English
// otherwise.
void SetTextLanguage(TextLanguage language);
TextLanguage CurrentTextLanguage();

// The text in the current language, %1..%9 replaced by args in order. An
// argument is put in as it is: a "%1" inside one stays.
std::string Say(TextId id, std::initializer_list<std::string_view> args = {});

// What stands at a path that is not a regular file, as a refusal names it
// ("a folder", "a device"...).
std::string SayFileKind(std::filesystem::file_type type);

// The text as the table has it in one language, placeholders unreplaced.
std::string_view TextForm(TextId id, TextLanguage language);

}  // namespace kiv
