"""The Shell Launcher v2 configuration that makes the installed orvalen.exe the kiosk user's shell.

What Shell Launcher does when the shell ends is chosen per exit code, so the file states orvalen's
exit-code contract:
  0     a normal end (the app called "destroy", or the window was closed): the kiosk must come
        back, so the shell is restarted;
  1     a start-up failure (the window or the engine's view could not be created, or the message
        loop failed): a restart fails the same way, so nothing is done rather than loop;
  other a crash (an exception code such as 0xC0000005): the shell is restarted.
"""
import xml.etree.ElementTree as ET

NS_2018 = "http://schemas.microsoft.com/ShellLauncher/2018/Configuration"
NS_2019 = "http://schemas.microsoft.com/ShellLauncher/2019/Configuration"

# One profile id for every version, so applying a new version's file replaces the old profile.
PROFILE_ID = "{D15236BE-175C-4EA6-B190-742636CDF939}"

RETURN_CODE_ACTIONS = (("0", "RestartShell"), ("1", "DoNothing"))
DEFAULT_ACTION = "RestartShell"


def render(shell_path, account=None):
    """SHELL_PATH is the installed exe as Shell Launcher sees it; ACCOUNT is the kiosk user
    (`user`, `domain\\user` or `AzureAD\\upn`), or None for Shell Launcher's own auto-logon
    account "Kiosk"."""
    ET.register_namespace("", NS_2018)
    ET.register_namespace("V2", NS_2019)
    q = lambda tag: "{%s}%s" % (NS_2018, tag)  # noqa: E731
    root = ET.Element(q("ShellLauncherConfiguration"))
    profiles = ET.SubElement(root, q("Profiles"))
    # Users without a profile of their own (the administrator) keep Explorer.
    default = ET.SubElement(profiles, q("DefaultProfile"))
    ET.SubElement(default, q("Shell"), Shell=r"%SystemRoot%\explorer.exe")
    profile = ET.SubElement(profiles, q("Profile"), Id=PROFILE_ID, Name="orvalen kiosk")
    shell = ET.SubElement(profile, q("Shell"), {"Shell": shell_path,
                                                "{%s}AppType" % NS_2019: "Desktop",
                                                "{%s}AllAppsFullScreen" % NS_2019: "true"})
    actions = ET.SubElement(shell, q("ReturnCodeActions"))
    for code, action in RETURN_CODE_ACTIONS:
        ET.SubElement(actions, q("ReturnCodeAction"), ReturnCode=code, Action=action)
    ET.SubElement(shell, q("DefaultAction"), Action=DEFAULT_ACTION)
    configs = ET.SubElement(root, q("Configs"))
    config = ET.SubElement(configs, q("Config"))
    if account:
        ET.SubElement(config, q("Account"), Name=account)
    else:
        ET.SubElement(config, q("AutoLogonAccount"))
    ET.SubElement(config, q("Profile"), Id=PROFILE_ID)
    ET.indent(root)
    return '<?xml version="1.0" encoding="utf-8"?>\n' + ET.tostring(root, encoding="unicode") + "\n"
