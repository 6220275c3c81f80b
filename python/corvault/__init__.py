"""Synchronous object-storage clients, written in C++.

The client classes live in submodules, imported on demand::

    from corvault.dravik import DravikClient      # Amazon S3 and compatible services
    from corvault.zorbeck import ZorbeckClient    # Tencent Cloud Object Storage
    from corvault.marvex import MarvexKodoClient  # Kodo object storage
    from corvault.kestry import KestryOSSClient   # Alibaba Cloud OSS
    from corvault.pelora import PeloraFileClient  # UFile object storage
"""

__version__ = "0.1.0"
