"""Authenticode signatures with osslsigncode (sha256), with or without a timestamp."""
import os
import shutil

from packagelib.msi import run
from packagelib.tree import PackageError


class Signer:
    """The certificate and key to sign with, and how to timestamp: a timestamping service's URL
    (RFC 3161), a timestamping certificate and key of one's own (no network needed), or none."""

    def __init__(self, cert, key, timestamp_url=None, tsa_cert=None, tsa_key=None):
        for path in (cert, key, tsa_cert, tsa_key):
            if path and not os.path.isfile(path):
                raise PackageError("no such file: %s" % path)
        self.cert, self.key = cert, key
        self.timestamp_url, self.tsa_cert, self.tsa_key = timestamp_url, tsa_cert, tsa_key

    def sign(self, path, description):
        """Signs PATH in place."""
        argv = ["osslsigncode", "sign", "-certs", self.cert, "-key", self.key, "-h", "sha256",
                "-n", description]
        if self.timestamp_url:
            argv += ["-ts", self.timestamp_url]
        elif self.tsa_cert:
            argv += ["-TSA-certs", self.tsa_cert, "-TSA-key", self.tsa_key]
        signed = path + ".signed"
        if os.path.exists(signed):
            os.remove(signed)
        run(argv + ["-in", path, "-out", signed], "osslsigncode sign %s" % os.path.basename(path))
        shutil.move(signed, path)
