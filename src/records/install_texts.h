// The installer's own message texts and caption, shown through the wide API.
#pragma once
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace install {

inline constexpr const char8_t* kCaption = u8"V-软件安装";

// No payload beside the installer: most often a download that was run without being unpacked.
inline constexpr const char8_t* kPayloadMissingText =
    u8"未找到安装所需的Data文件夹 !\n\n可能安装文件下载后没有解压，\n\n请解压后再执行SetUp.exe !";

// A failed copy; {} is the destination path.
inline constexpr const char8_t* kCopyFailedText =
    u8"拷贝文件 {} 失败，可能原因如下：\n\n1、AutoCAD未关闭\n\n2、系统权限未开放，请以管理者权限登陆系统";

// A source or destination path beyond what the ANSI file API takes (259 characters); {} is that
// path. Retrying cannot help, so the text says what can.
inline constexpr const char8_t* kPathTooLongText =
    u8"拷贝文件 {} 失败：\n\n路径超过259个字符，系统无法处理。\n\n请选择较短的安装路径后重新安装，或选择“忽略”跳过此文件。";

// APPDATA unset: the settings file has no place to go; {} is its name.
inline constexpr const char8_t* kNoAppDataText =
    u8"拷贝文件 {} 失败：\n\n未找到当前用户的应用程序数据文件夹（环境变量APPDATA未设置）。";

// The payload folder was found but its listing could not be read; {} is the folder.
inline constexpr const char8_t* kPayloadUnreadableText = u8"无法读取安装文件夹 {} 中的文件 !";

// The payload does not match the manifest built into this SetUp.exe: a file is missing, of another
// size or another content; {} is the file. Nothing has been changed when this is shown.
inline constexpr const char8_t* kPayloadAlteredText =
    u8"安装文件 {} 缺失、不完整或已被改动 !\n\n可能安装包下载不完整或被他人替换，\n\n请重新获取完整的安装包后再执行SetUp.exe !";
// The manifest built into this SetUp.exe cannot be read: the program file itself is damaged.
inline constexpr const char8_t* kManifestDamagedText =
    u8"SetUp.exe 中的安装文件清单已损坏 !\n\n请重新获取完整的安装包后再执行SetUp.exe !";

// The access list of the install folder, or of the chosen folder the installation created, could
// not be set; {} is the folder.
inline constexpr const char8_t* kProtectFailedText =
    u8"无法设置安装文件夹 {} 的访问权限 !\n\n"
    u8"AutoCAD会以每位用户的身份加载此文件夹中的程序，普通用户不应能修改它们，因此安装已停止。\n\n"
    u8"请选择NTFS磁盘上的其他安装路径后重新安装。";

// A run that stopped, after its changes were undone (the log's line, and the dialog's last box).
inline constexpr const char8_t* kRolledBackText = u8"安装已停止，计算机已还原为安装前的状态。";

// The running account's settings file, about to be replaced with other content, is kept beside it
// first: {} is the copy, named in the log, and in the closing message after the lead.
inline constexpr const char8_t* kSettingsKeptLog = u8"原设置文件与新版本的内容不同，已另存为 {}";
inline constexpr const char8_t* kDoneLead = u8"安装已完成。\n\n";
inline constexpr const char8_t* kSettingsKeptNote = u8"您原来的设置文件与新版本的不同，已另存为：\n{}";
// No copy of it could be kept ({} is the settings file): it is not replaced, so as not to lose it.
inline constexpr const char8_t* kSettingsNotKeptText =
    u8"无法保留原设置文件 {} 的副本，为免丢失您的设置，未替换此文件。";

// Another installation or uninstall of V-批打印软件 holds the machine's lock.
inline constexpr const char8_t* kAnotherRunText = u8"另一个 V-批打印软件 的安装或卸载程序正在运行，请等它结束后再试 !";

// The uninstaller placed in the install folder, started without /UNINSTALL.
inline constexpr const char8_t* kUninstallerOnlyText =
    u8"此程序是 V-批打印软件 的卸载程序，只能用于卸载。\n\n"
    u8"安装或修复请运行安装包中的 SetUp.exe。";

// A failure that waiting cannot mend: the copy ends at once; {} is the file, then the system's text.
inline constexpr const char8_t* kCopyFailedNamedText = u8"拷贝文件 {} 失败：\n\n";

// The uninstall's window while files and keys are removed.
inline constexpr const char8_t* kUninstallingText = u8"正在卸载 V-批打印软件，请稍候……";

// The first press of the install button while AutoCAD runs.
inline constexpr const char8_t* kAcadRunningText = u8"请关闭AutoCAD后再进行安装 !";

// A folder text that cannot name a folder; {} is the text as typed.
inline constexpr const char8_t* kInvalidFolderText =
    u8"安装路径 {} 无效 !\n\n请输入以盘符开头的完整路径，例如 C:\\Vornex；\n"
    u8"各级文件夹名不能为空，不能以空格或“.”开头或结尾，\n也不能含有 / : * ? \" < > | 等字符。";
// A folder text too long once "\V-ZurezUvad" is added; {} is the text as typed.
inline constexpr const char8_t* kFolderTooLongText =
    u8"安装路径 {} 过长 !\n\n加上“\\V-ZurezUvad”后不能超过259个字符，请选择较短的路径。";

// A folder text holding ';', which Windows allows in a name but AutoCAD's "TRUSTEDPATHS" takes for
// the separator between folders; {} is the text as typed.
inline constexpr const char8_t* kSemicolonFolderText =
    u8"安装路径 {} 含有分号“;” !\n\n"
    u8"AutoCAD以分号分隔受信任的文件夹，含分号的路径会被拆成几个不同的文件夹。\n\n请选择不含分号的安装路径。";

// The chosen folder or the install folder is a junction, a symbolic link or a mount point: what
// would be protected and filled is wherever it leads; {} is that folder.
inline constexpr const char8_t* kReparseFolderText =
    u8"安装路径 {} 是一个链接（联接点、符号链接或装入点），指向其他位置 !\n\n"
    u8"AutoCAD会从安装文件夹加载程序，它必须是一个普通文件夹。请选择其他安装路径。";

// The chosen folder, or a folder above it, can be taken over by someone other than the
// administrators; {} is that folder. Asked with Yes and No, No the default.
inline constexpr const char8_t* kReplaceableFolderText =
    u8"文件夹 {} 不属于管理员，或允许其他用户删除、改名或更改它的访问权限 !\n\n"
    u8"AutoCAD会以每位用户（包括管理员）的身份从安装文件夹加载程序。其他用户可以把安装文件夹换成自己的文件夹，"
    u8"让他们放入的程序在管理员的AutoCAD中运行。\n\n"
    u8"建议选择其他安装路径，例如 C:\\Program Files 下的文件夹。\n\n是否仍要安装到此处？";

// The installation ran to its end but some registry entries or AutoCAD support files could not be
// written: the lead, the items one per line (at most kIncompleteItemsShown, then the count of all),
// and what most often helps, since a running AutoCAD or missing rights are the usual causes.
inline constexpr const char8_t* kIncompleteLead = u8"安装已完成，但以下项目未能完成：\n\n";
inline constexpr std::size_t kIncompleteItemsShown = 10;
inline constexpr const char8_t* kIncompleteCountPattern = u8"……共 {} 项";
inline constexpr const char8_t* kIncompleteAdvice = u8"\n\n请关闭AutoCAD并以管理员身份重新运行安装程序。";

// Notes after an item whose path alone does not say what went wrong.
inline constexpr const char8_t* kIssueUnreadable = u8"（无法读取）";
inline constexpr const char8_t* kIssueTooLong = u8"（路径超过259个字符）";
inline constexpr const char8_t* kIssueNoPayload = u8"（未找到安装文件）";
// An AutoCAD file that would have been replaced, left as it is because no copy of it could be kept.
// The installation record could not be written: what it would hold cannot be undone exactly.
inline constexpr const char8_t* kIssueNoJournal = u8"（无法写入安装记录，卸载时无法完全还原）";
inline constexpr const char8_t* kIssueNoBackup = u8"（无法备份原文件，未替换）";
// A support file not placed because the installation record could not be written: an AutoCAD file
// there would have had no backup recorded, and a copy cut short could not be told for the add-on's.
inline constexpr const char8_t* kIssueNoJournalKept = u8"（无法写入安装记录，未放置，原文件保持不变）";
// A "TRUSTEDPATHS" value that is not text (a list, bytes, a number): left as it was.
inline constexpr const char8_t* kIssueNotText = u8"（值不是文本，未修改）";
// The uninstaller could not be placed in the install folder, so Apps & features does not list it.
inline constexpr const char8_t* kIssueNoUninstaller = u8"（无法放置卸载程序，“应用和功能”中不会列出本软件）";

// Another user, named in what could not be done (see UserLabel). His hive could not be loaded (held
// by a service, damaged, a roaming profile's copy not on this machine), or stayed loaded after the
// work and holds his profile until the next restart.
// A later version is installed: the first "{}" is its version, the second its folder.
inline constexpr const char8_t* kNewerInstalledText =
    u8"本机已安装更新的版本 {}，不能用此旧版本覆盖。如需安装此版本，请先卸载已安装的版本。\n\n安装位置：{}";
// Started without administrator rights where it needs them, and they could not be asked for.
inline constexpr const char8_t* kNeedsAdministratorText = u8"安装和卸载需要管理员权限：请以管理员身份运行本程序。未做任何更改。";
// The installation in another folder, which this one takes the place of, could not be taken out
// (its installation record cannot be used, or the folder is not of the installer's form).
inline constexpr const char8_t* kIssueEarlierStays = u8"（原安装位置的安装记录无法使用，原安装未能移除）";
// A ProfileList entry whose profile folder or NTUSER.DAT is gone: logged, not a step left undone.
inline constexpr const char8_t* kUserDepartedNote = u8"：配置文件已不在本机（用户已离开），跳过。";
inline constexpr const char8_t* kIssueHiveUnreachable = u8"（无法打开此用户的注册表，未加入受信任路径，也未放置设置文件）";
inline constexpr const char8_t* kIssueHiveStillLoaded = u8"（此用户的注册表用后未能卸载，请在此用户登录前重新启动计算机）";
// The user's roaming folder cannot be told or named; the settings file was not placed for him.
inline constexpr const char8_t* kIssueNoSettingsFile = u8"（此用户的应用程序数据文件夹无法使用，未放置设置文件）";
// A hive an earlier, stopped run left loaded under the installer's name could not be unloaded at
// the start of this one; the name follows.
inline constexpr const char8_t* kLeftHiveStayedText = u8"上次运行留下的用户注册表未能卸载，请在该用户登录前重新启动计算机：HKEY_USERS\\";
// The roaming folder the user's hive names lies outside his profile folder, on a share or behind a
// link; nothing was written there.
inline constexpr const char8_t* kIssueSettingsOutsideProfile =
    u8"（此用户的注册表把应用程序数据文件夹指向其配置文件夹以外、网络共享或链接，未放置设置文件）";
// The list of the machine's profiles could not be read whole: some users may have been missed.
inline constexpr const char8_t* kIssueUsersUnlisted = u8"（无法读取，其他用户可能未被处理）";

// The whole message for `items` (not empty).
std::u8string IncompleteInstallText(const std::vector<std::u8string>& items);
// Appends the items one per line, at most kIncompleteItemsShown of them, then the count of all.
void AppendItems(std::u8string& out, const std::vector<std::u8string>& items);

// The uninstall. The question before anything is removed (Yes and No, No the default); {} is the
// install folder.
inline constexpr const char8_t* kUninstallQuestionText =
    u8"确定要删除 V-批打印软件 吗？\n\n安装文件夹：{}\n\n"
    u8"将删除安装的程序文件、AutoCAD中的加载项和受信任路径，以及放入AutoCAD文件夹的字体等文件；用户设置将保留。";
// The first try while AutoCAD runs: its modules are loaded and its files held.
inline constexpr const char8_t* kUninstallAcadRunningText = u8"请关闭AutoCAD后再进行卸载 !";
// No installation found: no Apps & features entry, or a folder without one.
inline constexpr const char8_t* kNothingToUninstallText = u8"未找到需要卸载的 V-批打印软件，计算机未做任何更改。";
// The installation record exists but cannot be read; {} is its path, the system's code follows.
inline constexpr const char8_t* kJournalUnreadableText = u8"无法读取安装记录 {} !\n\n卸载已停止，计算机未做任何更改。";
// The record reads, yet holds no installation's start or more damaged lines than whole ones (saved
// again in another encoding, say): undone from it, the uninstall would remove nothing and forget the
// rest. {} is its path.
inline constexpr const char8_t* kJournalUnusableText =
    u8"安装记录 {} 已损坏，无法据此卸载 !\n\n卸载已停止，计算机未做任何更改，安装记录和“应用和功能”中的项目均已保留。";
// The install folder, or a folder above it, could be changed by someone other than the administrators,
// so nothing in it vouches for what the installation did; {} is that folder.
inline constexpr const char8_t* kUntrustedFolderText =
    u8"文件夹 {} 不受保护（不是管理员所有，或其他用户可以修改），其中的安装记录不可信 !\n\n"
    u8"卸载已停止，计算机未做任何更改。";
// The record holds entries only a later version of the installer knows; {} is its path.
inline constexpr const char8_t* kJournalFromLaterText =
    u8"安装记录 {} 由更新版本的安装程序写入 !\n\n"
    u8"请运行安装文件夹中的 VornexSetup.exe，或在“应用和功能”中卸载。卸载已停止，计算机未做任何更改。";

// The closing message: the lead, what was removed, then the items left and those deleted at the next
// restart, each list at most kIncompleteItemsShown long followed by the count of all.
inline constexpr const char8_t* kUninstalledLead = u8"V-批打印软件已卸载。\n\n";
inline constexpr const char8_t* kRemovedCountsPattern = u8"已删除 {} 个文件、{} 个注册表项、{} 处受信任路径，还原 {} 个AutoCAD文件。";
inline constexpr const char8_t* kLeftLead = u8"\n\n以下项目未删除：\n";
inline constexpr const char8_t* kPendingLead = u8"\n\n以下项目将在重新启动计算机后删除：\n";
// An installation from before the installation record: removed by the add-on's fixed names.
inline constexpr const char8_t* kNoJournalNote =
    u8"\n\n未找到安装记录，已按本软件固定的文件名和注册表项删除；"
    u8"放入AutoCAD文件夹的字体等文件无法确认是否仍为本软件所放，已保留。";

// Why an item was left.
inline constexpr const char8_t* kLeftRewritten = u8"（安装后已被改写，未删除）";
inline constexpr const char8_t* kLeftChanged = u8"（安装后已被修改，未删除）";
inline constexpr const char8_t* kLeftNotEmpty = u8"（其中还有其他文件，未删除）";
inline constexpr const char8_t* kLeftUserUnreachable = u8"（无法打开此用户的注册表，其中的受信任路径未删除）";
inline constexpr const char8_t* kLeftNoBackup = u8"（原文件的备份已不在，未还原）";
inline constexpr const char8_t* kLeftFailed = u8"（无法删除）";
// A record of the installation record that names a path the installation never writes to: not acted on.
inline constexpr const char8_t* kLeftBadRecord = u8"（安装记录中的路径不合规定，未处理）";
inline constexpr const char8_t* kLeftTrustedFailed = u8"\\TRUSTEDPATHS（无法修改）";

// `pattern` with its "{}" replaced by an ANSI path, converted so that it reads right on screen.
std::u8string WithPath(std::u8string_view pattern, std::string_view ansiPath);

}  // namespace install
