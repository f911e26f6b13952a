"""The WiX 3 source of the package, as wixl reads it.

Every file is a component of its own, and so is every empty folder (CreateFolder and RemoveFolder
on uninstall; without one Windows Installer neither makes nor removes an empty folder). Component
and directory ids and component GUIDs are derived from the installed path, lower-cased as Windows
compares paths, so the same file is the same component in every version and a major upgrade
never orphans or double-counts one.
"""
import uuid
import xml.etree.ElementTree as ET

# The product's identity across all its versions: a major upgrade finds the installed version by
# it. It must never change; a package with another UpgradeCode installs beside the old one.
UPGRADE_CODE = "A4C40845-8032-4FA9-B4BD-A020E85C927B"

# Component GUIDs are uuid5 names in this namespace (a fixed random UUID of ours); changing it
# would, like a new UpgradeCode, make every file a different component.
COMPONENT_NAMESPACE = uuid.UUID("f17d4f22-c667-4710-9ed5-658225c1253b")

WIX_NS = "http://schemas.microsoft.com/wix/2006/wi"
INSTALL_FOLDER_NAME = "orvalen"
DOWNGRADE_MESSAGE = "A newer version of orvalen is already installed."


def _key(rel_path):
    return uuid.uuid5(COMPONENT_NAMESPACE, "orvalen/" + rel_path.lower())


def component_guid(rel_path):
    return str(_key(rel_path)).upper()


def _id(prefix, rel_path):
    return prefix + _key(rel_path).hex.upper()  # 33 characters; WiX ids may have 72


def _directory_id(rel_folder):
    return "INSTALLDIR" if rel_folder == "" else _id("D", rel_folder)


def render(source_folder, files, folders, version, company, product_name, product_code):
    """SOURCE_FOLDER is the tree relative to where wixl runs (see msi.build)."""
    ET.register_namespace("", WIX_NS)
    q = lambda tag: "{%s}%s" % (WIX_NS, tag)  # noqa: E731
    wix = ET.Element(q("Wix"))
    prod = ET.SubElement(wix, q("Product"), Id=product_code, Name=product_name,
                         Manufacturer=company, Version=version, Language="1033",
                         Codepage="1252", UpgradeCode=UPGRADE_CODE)
    ET.SubElement(prod, q("Package"), InstallerVersion="500", Compressed="yes",
                  InstallScope="perMachine", Description=product_name, Manufacturer=company)
    # Same-version upgrades are patched in afterwards: wixl ignores AllowSameVersionUpgrades.
    ET.SubElement(prod, q("MajorUpgrade"), DowngradeErrorMessage=DOWNGRADE_MESSAGE)
    ET.SubElement(prod, q("Media"), Id="1", Cabinet="orvalen.cab", EmbedCab="yes")
    # Nothing to choose between: Add/Remove Programs offers no Change button.
    ET.SubElement(prod, q("Property"), Id="ARPNOMODIFY", Value="1")

    target = ET.SubElement(prod, q("Directory"), Id="TARGETDIR", Name="SourceDir")
    program_files = ET.SubElement(target, q("Directory"), Id="ProgramFiles64Folder")
    elements = {"": ET.SubElement(program_files, q("Directory"), Id="INSTALLDIR",
                                  Name=INSTALL_FOLDER_NAME)}
    for folder in folders:  # parents come first: walk() lists top-down
        parent, _, name = folder.rpartition("/")
        elements[folder] = ET.SubElement(elements[parent], q("Directory"),
                                         Id=_directory_id(folder), Name=name)

    components = []
    for rel in files:
        folder, _, name = rel.rpartition("/")
        comp = ET.SubElement(elements[folder], q("Component"), Id=_id("C", rel),
                             Guid=component_guid(rel), Win64="yes")
        ET.SubElement(comp, q("File"), Id=_id("F", rel), Name=name,
                      Source=source_folder + "/" + rel)
        components.append(comp.get("Id"))
    occupied = {f.rpartition("/")[0] for f in files}
    for folder in folders:
        if any(f == folder or f.startswith(folder + "/") for f in occupied):
            continue
        rel = folder + "/"  # a folder's component key differs from any file's
        comp = ET.SubElement(elements[folder], q("Component"), Id=_id("C", rel),
                             Guid=component_guid(rel), Win64="yes")
        ET.SubElement(comp, q("CreateFolder"))
        ET.SubElement(comp, q("RemoveFolder"), Id=_id("R", rel), On="uninstall")
        components.append(comp.get("Id"))

    feature = ET.SubElement(prod, q("Feature"), Id="Kiosk", Level="1", Title=product_name)
    for comp_id in components:
        ET.SubElement(feature, q("ComponentRef"), Id=comp_id)
    ET.indent(wix)
    return '<?xml version="1.0" encoding="utf-8"?>\n' + ET.tostring(wix, encoding="unicode") + "\n"
