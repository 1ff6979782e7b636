// The texts the user sees, one table keyed by id: the string numbers where the resources number
// them, named ids (from 1000 on) for the others. Every page, front end and program takes its
// texts from here, so each is written once and a translation replaces one table.
#pragma once

#include <cstddef>

namespace App {

enum class StringId : int {
    AppName = 1,
    DeletionQuestion = 32,  // "%s": recycle, delete, overwrite or eradicate
    DeleteEmergencyFailed = 41,
    CreatedBy = 77,  // "%s" the user, "%s" the date
    OverwriteReadOnly = 98,
    Usage = 108,
    ErrorCaption = 112,
    WriteRecoveryFailed = 113,
    WriteEmergencyFailed = 114,
    Unexpected = 115,
    IncorrectOrganisationPassword = 117,
    IncorrectPasswordCaption = 118,
    TextHeader = 121,
    PreferencesCaption = 122,
    EmergencyDisabled = 126,
    RecoveryUpdated = 140,

    WelcomeTitle = 1000,
    WelcomeSubtitle,
    DecryptionInProgress,
    OverwriteQuestion,
    ReplaceCaption,
    WrongPassword,
    CorruptInput,
    AdministratorKeyError,
    EncryptionFailed,
    DecryptionFailed,
    CreateFolderQuestion,
    CancelQuestion,
    RunInBackground,
    PasswordsDiffer,
    FileAccessFailed,
    FileErrorCaption,
    NotFoundCaption,
};

struct StringRow {
    StringId id;
    const char* text;
};

inline constexpr StringRow kStrings[] = {
    {StringId::AppName, "Cryvan"},
    {StringId::DeletionQuestion, "Are you sure you want to %s the input file(s)?"},
    {StringId::DeleteEmergencyFailed,
     "Cryvan was unable to delete your existing emergency password."},
    {StringId::CreatedBy, "(Created by %s on %s)"},
    {StringId::OverwriteReadOnly,
     "This file already exists and is read-only.  Would you like to overwrite the existing "
     "file?"},
    {StringId::Usage,
     "The command line parameters given were invalid.\n\nUsage:  Cryvan [ -prefs | [ -e "
     "[Encryption Args] | -d [Decryption Args] ] ]\n\nUniversal Args:\n\t-p <password>\tspecifies "
     "the password to use\n\t-q           \t\texit automatically when done\n\t-r [k|r|d|o|e]     "
     "\tkeep, recycle, delete, overwrite or eradicate the input file(s)\t     \n\t-f              "
     "  \tomit user confirmation of input file removal (requires -r)\n\nEncryption Args:\n\t-c "
     "[filename]\tspecifies the encrypted file to create\n                 \t\t(default used if "
     "no directory given)\n\t-i  <files>   \tspecifies a list of files to encrypt\n\t-x          "
     " \t\tcreate a self-decrypting executable\n\nDecryption Args:\n\t-c <filename>\tspecifies "
     "the encrypted file to decrypt\n\t-o [outputdir]\tspecifies the output directory for the "
     "decrypted files\n                 \t\t(default used if no directory given)"},
    {StringId::ErrorCaption, "Cryvan Error"},
    {StringId::WriteRecoveryFailed, "Cryvan was unable to write to the data recovery file.\t\n"},
    {StringId::WriteEmergencyFailed,
     "Cryvan was unable to write to your emergency password file.\t\n"},
    {StringId::Unexpected,
     "Cryvan encountered an unexpected error and has been forced to exit.\n\nWe apologies for "
     "the inconvenience, and encourage you to report this problem."},
    {StringId::IncorrectOrganisationPassword, "The organisation password entered is incorrect."},
    {StringId::IncorrectPasswordCaption, "Incorrect Password"},
    {StringId::TextHeader, "Cryvan encrypted file - do not edit"},
    {StringId::PreferencesCaption, "Cryvan Configuration"},
    {StringId::EmergencyDisabled, "Emergency passwords have been disabled by your organisation."},
    {StringId::RecoveryUpdated,
     "The password is correct.\n\nThe data recovery configuration file has been updated.  "
     "It should now be distributed to the other PCs in your organisation."},

    {StringId::WelcomeTitle, "Welcome to Cryvan"},
    {StringId::WelcomeSubtitle, "File encryption with data recovery"},
    {StringId::DecryptionInProgress, "Decryption in Progress"},
    {StringId::OverwriteQuestion,
     "This file already exists.  Would you like to overwrite the existing file?"},
    {StringId::ReplaceCaption, "Confirm File Replace"},
    {StringId::WrongPassword, "The password entered was incorrect."},
    {StringId::CorruptInput, "The input file is corrupt."},
    {StringId::AdministratorKeyError,
     "An error occurred when trying to access the administrator data recovery key."},
    {StringId::EncryptionFailed, "The encryption failed due to an unexpected error."},
    {StringId::DecryptionFailed, "The decryption failed due to an unexpected error."},
    {StringId::CreateFolderQuestion,
     "The destination folder does not exist.  Would you like to create it?"},
    {StringId::CancelQuestion, "Are you sure you want to cancel?"},
    {StringId::RunInBackground, "Run as background task"},
    {StringId::PasswordsDiffer, "The passwords entered do not match."},
    {StringId::FileAccessFailed, "Unable to access the file or drive specified."},
    {StringId::FileErrorCaption, "File Error"},
    {StringId::NotFoundCaption, "File Not Found"},
};

// The text of `id`; empty for an id the table lacks.
constexpr const char* Text(StringId id) {
    for (const StringRow& row : kStrings)
        if (row.id == id)
            return row.text;
    return "";
}

}  // namespace App
