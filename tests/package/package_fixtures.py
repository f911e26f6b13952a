"""What the installer's check is given: throw-away signing and timestamping certificates, a desk to
run the kiosk on, and the two ways of changing signed content after signing."""
import os
import re
import subprocess
import tempfile

import pefile

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.realpath(__file__))))


def openssl_certificate(folder, name, usage):
    key, cert = os.path.join(folder, name + "-key.pem"), os.path.join(folder, name + ".pem")
    subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-sha256",
                    "-days", "2", "-keyout", key, "-out", cert, "-subj", "/CN=orvalen test " + name,
                    "-addext", "keyUsage=critical,digitalSignature",
                    "-addext", "extendedKeyUsage=critical," + usage],
                   check=True, capture_output=True)
    return cert, key


class Certificates:
    """A code-signing certificate and, where osslsigncode can timestamp offline (2.9 can; Debian
    bookworm's own 2.5 cannot), a timestamping one; made afresh, never kept."""

    def __init__(self, folder):
        os.makedirs(folder, exist_ok=True)
        self.cert, self.key = openssl_certificate(folder, "signing", "codeSigning")
        shown = subprocess.run(["osslsigncode", "sign", "--help"], capture_output=True, text=True)
        help_text = shown.stdout + shown.stderr
        self.offline_timestamps = "-TSA-certs" in help_text
        self.tsa_cert = self.tsa_key = None
        if self.offline_timestamps:
            self.tsa_cert, self.tsa_key = openssl_certificate(folder, "timestamping", "timeStamping")

    def timestamp_args(self):
        return ["--tsa-cert", self.tsa_cert, "--tsa-key", self.tsa_key] if self.tsa_cert else []

    def verify(self, path):
        """osslsigncode's verdict on PATH with our certificates as the only trusted roots."""
        argv = ["osslsigncode", "verify", "-CAfile", self.cert]
        if self.tsa_cert:
            argv += ["-TSA-CAfile", self.tsa_cert]
        done = subprocess.run(argv + ["-in", path], capture_output=True, text=True)
        return done.returncode == 0, done.stdout + done.stderr


def flip_code_byte(exe, out):
    """A copy of EXE with one byte of its code section changed."""
    with open(exe, "rb") as f:
        data = bytearray(f.read())
    pe = pefile.PE(data=bytes(data), fast_load=True)
    text = next(s for s in pe.sections if s.Name.rstrip(b"\0") == b".text")
    offset = text.PointerToRawData + text.SizeOfRawData // 2
    data[offset] ^= 0xFF
    with open(out, "wb") as f:
        f.write(data)


def replace_msi_stream(msi_path, stream="orvalen.cab"):
    """Changes one byte of the MSI's cabinet and puts it back as the same stream (msibuild). A
    byte flipped at a random offset of the file may land in unused space no signature covers."""
    data = bytearray(subprocess.run(["msiinfo", "extract", msi_path, stream], check=True,
                                    capture_output=True).stdout)
    data[len(data) // 2] ^= 0xFF
    with tempfile.NamedTemporaryFile(suffix=".cab") as f:
        f.write(data)
        f.flush()
        subprocess.run(["msibuild", msi_path, "-a", stream, f.name], check=True, capture_output=True)


class Desk:
    """A one-monitor desk for the kiosk's run (its DISPLAY; the programs use a prefix of their own,
    copied from the desk's pristine one)."""

    def __init__(self, build):
        self.build, self.name = build, "package-check-%d" % os.getpid()
        self.desk = [os.path.join(ROOT, "scripts", "desk")]

    def __enter__(self):
        subprocess.run(self.desk + ["start", "--layout", "one", "--name", self.name,
                                    "--build", self.build], check=True)
        env = subprocess.run(self.desk + ["env", "--name", self.name, "--build", self.build],
                             check=True, capture_output=True, text=True).stdout
        self.display = re.search(r"DISPLAY=['\"]?([^'\"\s]+)", env).group(1)
        self.pristine = os.path.join(self.build, "desk", "prefixes", "pristine")
        return self

    def __exit__(self, *exc):
        subprocess.run(self.desk + ["stop", "--name", self.name, "--build", self.build])
