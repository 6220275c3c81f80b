from ufile_reference import make  # noqa: F401  (fixture)
