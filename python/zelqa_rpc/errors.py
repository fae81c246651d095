"""The exception every failed library call raises."""

# The result every export returns on failure.
E_FAIL = 0x80004005


class ZelqaRpcError(Exception):
    """A call into the library failed.

    str(error) and error.text are the library's error text; error.hresult is the HRESULT
    the export returned (as an unsigned 32-bit value), error.function the export's name.
    """

    def __init__(self, text, hresult=E_FAIL, function=None):
        super().__init__(text)
        self.text = text
        self.hresult = hresult
        self.function = function
